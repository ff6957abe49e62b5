// A stand-in for the built-in record "ConfigService" (entry InjectConfigService), so that a host
// test can drive a built-in record end to end: the host points the resources directory at a
// folder whose ../lib holds this library as libConfigService.so.
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

#include <atomic>
#include <memory>

namespace {

std::atomic<int> injections{0};

}  // namespace

namespace ZAMUnified {

class ConfigService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    explicit ConfigService(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "ConfigService") {}
    std::string getInterfaceName() override { return "ConfigService"; }
    void initNotifiers() override {}
};

}  // namespace ZAMUnified

extern "C" {

void InjectConfigService(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    ++injections;
    factory->getServiceRegistry()->addItem(typeid(ZAMUnified::ConfigService).name(), 1300,
                                           std::make_shared<ZAMUnified::ConfigService>(factory));
}

int TestConfigStandInInjections() {
    return injections;
}
}
