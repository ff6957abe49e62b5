// A complete test plug-in "TestServices": one service, one feature-set object registered under
// two names and ids, and authenticators registered in both forms. Counters let the tests see
// injections, Destroy() calls and the events list handed through.
#include <KORCoreUtils.h>
#include <ZAMUnified/Authenticator.h>
#include <ZAMUnified/FeatureSetBase.h>
#include <ZAMUnified/ServiceBase.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <atomic>
#include <memory>

#include "TestPluginProbe.h"

namespace {

std::atomic<int> injections{0};
std::atomic<int> destroys{0};
std::atomic<std::uint64_t> injectionThread{0};
std::atomic<const void*> lastEvents{nullptr};

}  // namespace

namespace ZAMUnified {

class TestAlphaService : public ServiceBase<TestAlphaService> {
  public:
    static constexpr const char* kInterfaceName = "TestAlphaService";
    using ServiceBase::ServiceBase;
};

// Provisioned for 7001 only; 7002 is registered but refused.
class TestFeatureSet : public FeatureSetBase {
  public:
    TestFeatureSet() : FeatureSetBase({7001}) {}
    void StartFeatureSet(unsigned int id, EventsPtr events) override {
        lastEvents = events.get();
        FeatureSetBase::StartFeatureSet(id, events);
    }
    void StopFeatureSet(unsigned int id, EventsPtr events) override {
        lastEvents = events.get();
        FeatureSetBase::StopFeatureSet(id, events);
    }
    void Destroy() override { ++destroys; }
    std::vector<unsigned int> GetFeatureSetDependencies(unsigned int) override {
        return {1300, 42876};
    }
};

class TestAuthenticator : public Authenticator {};

}  // namespace ZAMUnified

extern "C" {

void InjectTestServices(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    using namespace ZAMUnified;
    ++injections;
    injectionThread = KORCoreUtils::ThreadUtils::getCurrentThreadId();
    factory->getServiceRegistry()->addItem(typeid(TestAlphaService).name(), 7001,
                                           std::make_shared<TestAlphaService>(factory));
    auto featureSet = std::make_shared<TestFeatureSet>();
    factory->getFeatureSetRegistry()->addItem(typeid(TestFeatureSet).name(), 7001, featureSet);
    factory->getFeatureSetRegistry()->addItem("N10ZAMUnified15TestFeatureAliasE", 7002, featureSet);
    factory->setAuthenticator(7100, "ALPHA", "Alpha Sign-In",
                              std::make_shared<TestAuthenticator>());
    factory->setAuthenticator(7101, std::make_shared<TestAuthenticator>());
    factory->setAuthenticatorName(7101, "BETA");
    factory->setAuthenticator(7102, std::make_shared<TestAuthenticator>());
}

int TestServicesInjections() {
    return injections;
}
int TestServicesDestroys() {
    return destroys;
}
std::uint64_t TestServicesInjectionThread() {
    return injectionThread;
}
const void* TestServicesLastEvents() {
    return lastEvents;
}
}
