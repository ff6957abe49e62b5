// ZAMUnified::BusinessObjectBase<Derived> and ServiceBase<Derived>: the framework's side of a
// plug-in's business object or service class. The class names its interface once, in the
// constant kInterfaceName; the base answers getInterfaceName() with it, hands it to
// UnifiedBusinessObjectImpl, and has nothing to add in initNotifiers(). ServiceLibrary registers
// the class's reflector under the same constant.
//
//   class ThermoService : public ZAMUnified::ServiceBase<ThermoService> {
//     public:
//       static constexpr const char* kInterfaceName = "ThermoService";
//       explicit ThermoService(std::shared_ptr<ZAMUnified::UnifiedFactory> factory)
//           : ServiceBase(std::move(factory)) {}
//   };
//
// Threading and failure: as UnifiedBusinessObjectImpl; constructing a committed object off the
// dispatcher thread throws DispatcherAccessExceptionImpl.
#ifndef ZAMUNIFIED_SERVICEBASE_H
#define ZAMUNIFIED_SERVICEBASE_H

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedService.h>

namespace ZAMUnified {

class UnifiedFactory;

namespace detail {

template <typename T, typename = void>
struct HasInterfaceName : std::false_type {};
template <typename T>
struct HasInterfaceName<T, std::void_t<decltype(std::string(T::kInterfaceName))>> : std::true_type {
};

}  // namespace detail

// The interface name that the class C declares once.
template <typename C>
std::string interfaceNameOf() {
    static_assert(detail::HasInterfaceName<C>::value,
                  "a reflected class names its interface once: "
                  "static constexpr const char* kInterfaceName = \"...\";");
    if constexpr (detail::HasInterfaceName<C>::value) {
        return C::kInterfaceName;
    } else {
        return std::string();
    }
}

template <typename Derived>
class BusinessObjectBase : public UnifiedBusinessObjectImpl {
  public:
    // `uncommitted`: as UnifiedBusinessObjectImpl's, an object that may be filled on any thread
    // until commitToServicesDispatcher().
    explicit BusinessObjectBase(std::shared_ptr<UnifiedFactory> factory, bool uncommitted = false)
        : UnifiedBusinessObjectImpl(std::move(factory), uncommitted, interfaceNameOf<Derived>()) {}

    std::string getInterfaceName() override { return interfaceNameOf<Derived>(); }
    void initNotifiers() override {}
};

template <typename Derived>
class ServiceBase : public UnifiedService, public BusinessObjectBase<Derived> {
  public:
    explicit ServiceBase(std::shared_ptr<UnifiedFactory> factory)
        : BusinessObjectBase<Derived>(std::move(factory)) {}
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICEBASE_H
