// A test plug-in "TestCounting" whose getters and setter count their calls, so that the tests can
// see how often a text request runs each member on its path. Its service's Node is the service
// itself, which makes chains of any length; its halving methods take and answer doubles.
#include <ZAMUnified/ObjectReflector.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/TypeMap.h>
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <typeinfo>
#include <vector>

namespace {

// Calls of getNode, getValue and setValue.
std::atomic<int> calls[3];

}  // namespace

namespace ZAMUnified {

class CountingService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    explicit CountingService(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "CountingService") {}
    std::string getInterfaceName() override { return "CountingService"; }
    void initNotifiers() override {}

    std::shared_ptr<CountingService> getNode() const {
        ++calls[0];
        return self_.lock();
    }
    int getValue() const {
        ++calls[1];
        return value_;
    }
    void setValue(int value) {
        ++calls[2];
        value_ = value;
    }
    void adopt(const std::shared_ptr<CountingService>& self) { self_ = self; }
    double half(double value) const { return value / 2; }
    std::vector<double> halves(const std::vector<double>& values) const {
        std::vector<double> result(values.size());
        std::transform(values.begin(), values.end(), result.begin(),
                       [this](double value) { return half(value); });
        return result;
    }

  private:
    std::weak_ptr<CountingService> self_;
    int value_ = 7;
};

}  // namespace ZAMUnified

// The calls of each counted member since the last look, in the order above.
extern "C" void countingCallsSinceLastLook(int* out) {
    for (int member = 0; member < 3; ++member) {
        out[member] = calls[member].exchange(0);
    }
}

extern "C" void InjectTestCounting(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    using namespace ZAMUnified;
    using C = CountingService;
    ReflectorFactory::AddReflectorFactoryMethod(
        "CountingService", [](std::shared_ptr<UnifiedBusinessObject> object) {
            auto service = std::dynamic_pointer_cast<C>(object);
            if (!service) {
                return std::shared_ptr<Reflector>();
            }
            auto reflector = std::make_shared<ObjectReflector<C>>("CountingService", service);
            reflector->property("Node", &C::getNode)
                .property("Value", &C::getValue, &C::setValue, "Counts its reads and writes")
                .method("half", &C::half, {"value"}, "Half the value")
                .method("halves", &C::halves, {"values"});
            return std::shared_ptr<Reflector>(reflector);
        });
    auto service = std::make_shared<C>(factory);
    service->adopt(service);
    factory->getServiceRegistry()->addItem(typeid(C).name(), 7300, service);
}
