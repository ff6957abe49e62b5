// A service library that only the shell's tests know, made known to svcsh through a manifest. Its
// methods throw on purpose and its overloads differ only in type, so the tests can check how the
// shell reports exceptions and asks for argument types; two services in a namespace of its own,
// one with AbacusService's short name, show how foreign and ambiguous names are handled.
#include <ServicesFramework.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace ZAMUnified {

class AbacusService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    explicit AbacusService(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(factory, "AbacusService"),
          dispatcher_(factory->getServicesDispatcher()) {}
    std::string getInterfaceName() override { return "AbacusService"; }
    void initNotifiers() override {}

    int divide(int a, int b) const {
        if (b == 0) {
            throw std::domain_error("division by zero");
        }
        return a / b;
    }
    // Something that is not a std::exception.
    int jam() const { throw 7; }
    // Queues a task that throws when the host pumps it.
    int jamLater() const {
        dispatcher_->enqueue([] { throw std::runtime_error("late failure"); }, "JamLater", false,
                             true);
        return 1;
    }
    int twice(int value) const { return 2 * value; }
    std::string twice(const std::string& text) const { return text + text; }
    long getTotal() const { return total_; }
    void setTotal(long total) {
        EnsureUpdateAccess(true);
        total_ = total;
    }

  private:
    long total_ = 0;
    std::shared_ptr<ServicesDispatcher> dispatcher_;
};

}  // namespace ZAMUnified

// Services outside the framework's namespace, one of them sharing AbacusService's short name.
namespace acme::dev {

struct ThermoService : ZAMUnified::UnifiedService, ZAMUnified::UnifiedBusinessObjectImpl {
    explicit ThermoService(std::shared_ptr<ZAMUnified::UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "ThermoService") {}
    std::string getInterfaceName() override { return "ThermoService"; }
    void initNotifiers() override {}
    int getCelsius() const { return 21; }
};

struct AbacusService : ThermoService {
    using ThermoService::ThermoService;
};

}  // namespace acme::dev

extern "C" void InjectAbacus(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    using namespace ZAMUnified;
    ReflectorFactory::AddReflectorFactoryMethod(
        "AbacusService", [](std::shared_ptr<UnifiedBusinessObject> object) {
            using A = AbacusService;
            auto reflector = std::make_shared<ObjectReflector<A>>(
                "AbacusService", std::dynamic_pointer_cast<A>(object));
            reflector->property("Total", &A::getTotal, &A::setTotal)
                .method("divide", &A::divide, {"a", "b"})
                .method("jam", &A::jam)
                .method("jamLater", &A::jamLater)
                .method("twice", selectOverload<int(int) const>(&A::twice), {"value"})
                .method("twice", selectOverload<std::string(const std::string&) const>(&A::twice),
                        {"value"});
            return std::shared_ptr<Reflector>(reflector);
        });
    factory->getServiceRegistry()->addItem(typeid(AbacusService).name(), 9100,
                                           std::make_shared<AbacusService>(factory));
    ReflectorFactory::AddReflectorFactoryMethod(
        "ThermoService", [](std::shared_ptr<UnifiedBusinessObject> object) {
            using T = acme::dev::ThermoService;
            auto reflector = std::make_shared<ObjectReflector<T>>(
                "ThermoService", std::dynamic_pointer_cast<T>(object));
            reflector->property("Celsius", &T::getCelsius);
            return std::shared_ptr<Reflector>(reflector);
        });
    factory->getServiceRegistry()->addItem(typeid(acme::dev::ThermoService).name(), 9101,
                                           std::make_shared<acme::dev::ThermoService>(factory));
    factory->getServiceRegistry()->addItem(typeid(acme::dev::AbacusService).name(), 9102,
                                           std::make_shared<acme::dev::AbacusService>(factory));
}
