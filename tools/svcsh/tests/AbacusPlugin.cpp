// A service library that only the shell's tests know, made known to svcsh through a manifest. Its
// methods throw on purpose and its overloads differ only in type, so the tests can check how the
// shell reports exceptions and asks for argument types; two services in a namespace of its own,
// one with AbacusService's short name, show how foreign and ambiguous names are handled.
#include <ServicesFramework.h>

#include <stdexcept>
#include <string>

namespace ZAMUnified {

class AbacusService : public ServiceBase<AbacusService> {
  public:
    static constexpr const char* kInterfaceName = "AbacusService";
    using ServiceBase::ServiceBase;

    int divide(int a, int b) const {
        return b != 0 ? a / b : throw std::domain_error("division by zero");
    }
    // Something that is not a std::exception.
    int jam() const { throw 7; }
    // Queues a task that throws when the host pumps it.
    int jamLater() const {
        factory_->getServicesDispatcher()->enqueue([] { throw std::runtime_error("late failure"); },
                                                   "JamLater", false, true);
        return 1;
    }
    int twice(int value) const { return 2 * value; }
    std::string twice(const std::string& text) const { return text + text; }
    long getTotal() const { return total_; }
    void setTotal(long total) { total_ = total; }

  private:
    long total_ = 0;
};

}  // namespace ZAMUnified

// Services outside the framework's namespace, one of them sharing AbacusService's short name.
namespace acme::dev {

struct ThermoService : ZAMUnified::ServiceBase<ThermoService> {
    static constexpr const char* kInterfaceName = "ThermoService";
    using ServiceBase::ServiceBase;
    int getCelsius() const { return 21; }
};

struct AbacusService : ThermoService {
    using ThermoService::ThermoService;
};

}  // namespace acme::dev

ZAMUNIFIED_SERVICE_LIBRARY(Abacus, library) {
    using namespace ZAMUnified;
    using A = AbacusService;
    using T = acme::dev::ThermoService;
    library.service<A>(9100)
        .property("Total", &A::getTotal, &A::setTotal)
        .method("divide", &A::divide, {"a", "b"})
        .method("jam", &A::jam)
        .method("jamLater", &A::jamLater)
        .method("twice", selectOverload<int(int) const>(&A::twice), {"value"})
        .method("twice", selectOverload<std::string(const std::string&) const>(&A::twice),
                {"value"});
    // Both register the reflector of the interface ThermoService: the later one, with Celsius,
    // stays, and serves both.
    library.service<acme::dev::AbacusService>(9102);
    library.service<T>(9101).property("Celsius", &T::getCelsius);
}
