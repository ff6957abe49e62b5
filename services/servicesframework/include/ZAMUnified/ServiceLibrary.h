// ZAMUnified::ServiceLibrary and ZAMUNIFIED_SERVICE_LIBRARY: a service library's injection entry
// as one block, with one line per registered item and one per reflected member.
//
//   ZAMUNIFIED_SERVICE_LIBRARY(Thermo, library) {
//       using T = ThermoService;
//       library.service<T>(T::kId)
//           .property("Celsius", &T::getCelsius, &T::setCelsius, &T::celsiusChanged,
//                     "The temperature in degrees Celsius")
//           .method("reset", &T::reset, "Back to 20 degrees");
//       library.featureSet<ThermoFeatureSet>(T::kId);
//   }
//
// The macro defines `extern "C" void InjectThermo(std::shared_ptr<UnifiedFactory>)`, which the
// loader calls once per load on the dispatcher thread, and records the framework interface
// version the library is compiled against (FrameworkVersion.h). Each class's interface name comes
// from its kInterfaceName (ServiceBase.h); its reflector is an ObjectReflector made anew for each
// object the ReflectorFactory is asked about, with the members listed here.
// Threading: registration runs in the injection entry; the reflections are read-only afterwards.
// Failure: what a constructor or the factory throws leaves the entry, and the loader reports it
// as the library's load failure; so does a service whose getInterfaceName() is not its class's
// kInterfaceName (std::logic_error).
#ifndef ZAMUNIFIED_SERVICELIBRARY_H
#define ZAMUNIFIED_SERVICELIBRARY_H

#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include <ZAMUnified/Authenticator.h>
#include <ZAMUnified/FeatureSet.h>
#include <ZAMUnified/FeatureSetBase.h>
#include <ZAMUnified/FrameworkVersion.h>
#include <ZAMUnified/ObjectReflector.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ServiceBase.h>
#include <ZAMUnified/TypeMap.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

namespace ZAMUnified {

namespace detail {

// An option kept for later reflectors: a description as its own string (a character array may
// not outlive the registration), anything else as a copy.
template <typename Option>
auto keptOption(Option&& option) {
    using O = std::decay_t<Option>;
    if constexpr (!std::is_same<O, std::nullptr_t>::value && !std::is_member_pointer<O>::value &&
                  std::is_convertible<Option, std::string>::value && !std::is_class<O>::value) {
        return std::string(std::forward<Option>(option));
    } else {
        return O(std::forward<Option>(option));
    }
}

}  // namespace detail

// The members of class C, listed once at injection and added to every reflector made for an
// object of C. Its functions take what ObjectReflector's do.
template <typename C>
class ClassReflection {
  public:
    using Member = std::function<void(ObjectReflector<C>&)>;

    ClassReflection() : members_(std::make_shared<std::vector<Member>>()) {}

    template <typename G, typename... Options>
    ClassReflection& property(std::string name, G getter, Options&&... options) {
        return add([name = std::move(name), getter,
                    kept = std::make_tuple(detail::keptOption(std::forward<Options>(options))...)](
                       ObjectReflector<C>& reflector) {
            std::apply([&](const auto&... option) { reflector.property(name, getter, option...); },
                       kept);
        });
    }
    template <typename G, typename... Options>
    ClassReflection& listProperty(std::string name, G getter, Options&&... options) {
        return add([name = std::move(name), getter,
                    kept = std::make_tuple(detail::keptOption(std::forward<Options>(options))...)](
                       ObjectReflector<C>& reflector) {
            std::apply(
                [&](const auto&... option) { reflector.listProperty(name, getter, option...); },
                kept);
        });
    }
    template <typename G, typename... Options>
    ClassReflection& mutableListProperty(std::string name, G getter, Options&&... options) {
        return add([name = std::move(name), getter,
                    kept = std::make_tuple(detail::keptOption(std::forward<Options>(options))...)](
                       ObjectReflector<C>& reflector) {
            std::apply(
                [&](const auto&... option) {
                    reflector.mutableListProperty(name, getter, option...);
                },
                kept);
        });
    }
    template <typename F>
    ClassReflection& method(std::string name, F function,
                            std::initializer_list<std::string> parameterNames = {},
                            std::string description = std::string()) {
        return add([name = std::move(name), function,
                    names = std::vector<std::string>(parameterNames),
                    description = std::move(description)](ObjectReflector<C>& reflector) {
            reflector.addMethod(name, function, names, description);
        });
    }
    template <typename F>
    ClassReflection& method(std::string name, F function, std::string description) {
        return method(std::move(name), function, {}, std::move(description));
    }

    // A reflector for `object`, or an empty pointer when it is no C.
    std::shared_ptr<Reflector> reflect(const std::shared_ptr<UnifiedBusinessObject>& object) const {
        auto typed = std::dynamic_pointer_cast<C>(object);
        if (!typed) {
            return nullptr;
        }
        auto reflector = std::make_shared<ObjectReflector<C>>(interfaceNameOf<C>(), typed);
        for (const Member& member : *members_) {
            member(*reflector);
        }
        return reflector;
    }

  private:
    ClassReflection& add(Member member) {
        members_->push_back(std::move(member));
        return *this;
    }

    // Shared with the registered reflector function, which reads it after injection.
    std::shared_ptr<std::vector<Member>> members_;
};

// What an injection entry registers with, in the order it asks.
class ServiceLibrary {
  public:
    explicit ServiceLibrary(std::shared_ptr<UnifiedFactory> factory)
        : factory_(std::move(factory)) {}

    const std::shared_ptr<UnifiedFactory>& factory() const { return factory_; }

    // Makes the service S(factory, arguments...), registers its reflector under
    // S::kInterfaceName and the service under its mangled type name and `id`; its members follow
    // on the answer, one a line.
    template <typename S, typename... Arguments>
    ClassReflection<S> service(unsigned int id, Arguments&&... arguments) {
        static_assert(std::is_base_of<UnifiedService, S>::value,
                      "a service derives from UnifiedService (ServiceBase<S> does)");
        auto made = std::make_shared<S>(factory_, std::forward<Arguments>(arguments)...);
        if (made->getInterfaceName() != interfaceNameOf<S>()) {
            throw std::logic_error("the service " + std::string(typeid(S).name()) +
                                   " answers the interface name \"" + made->getInterfaceName() +
                                   "\", not its kInterfaceName \"" + interfaceNameOf<S>() + "\"");
        }
        ClassReflection<S> reflection = object<S>();
        factory_->getServiceRegistry()->addItem(typeid(S).name(), id,
                                                std::shared_ptr<UnifiedService>(std::move(made)));
        return reflection;
    }

    // Registers the reflector of a business object class O that services hand out (under
    // O::kInterfaceName); its members follow on the answer.
    template <typename O>
    ClassReflection<O> object() {
        ClassReflection<O> reflection;
        ReflectorFactory::AddReflectorFactoryMethod(
            interfaceNameOf<O>(), [reflection](std::shared_ptr<UnifiedBusinessObject> object) {
                return reflection.reflect(object);
            });
        return reflection;
    }

    // Makes the feature set F(arguments...), provisions it for `id` when it is a
    // FeatureSetBase, and registers it under its mangled type name and `id`.
    template <typename F, typename... Arguments>
    std::shared_ptr<F> featureSet(unsigned int id, Arguments&&... arguments) {
        static_assert(
            std::is_base_of<FeatureSet, F>::value && std::is_base_of<FeatureSetAdapter, F>::value,
            "a feature set derives from FeatureSet and FeatureSetAdapter "
            "(FeatureSetBase does)");
        auto made = std::make_shared<F>(std::forward<Arguments>(arguments)...);
        if constexpr (std::is_base_of<FeatureSetBase, F>::value) {
            made->provision(id);
        }
        factory_->getFeatureSetRegistry()->addItem(typeid(F).name(), id,
                                                   std::shared_ptr<FeatureSet>(made));
        return made;
    }

    // Makes the authenticator A(arguments...) and registers it under `id`, `name` and
    // `displayName`.
    template <typename A, typename... Arguments>
    std::shared_ptr<A> authenticator(unsigned int id, const std::string& name,
                                     const std::string& displayName, Arguments&&... arguments) {
        auto made = std::make_shared<A>(std::forward<Arguments>(arguments)...);
        factory_->setAuthenticator(id, name, displayName, made);
        return made;
    }

  private:
    std::shared_ptr<UnifiedFactory> factory_;
};

}  // namespace ZAMUnified

// The injection entry of the library `Name` (its manifest name, or a macro that expands to it),
// with the framework version recorded; the block that follows registers through `library`, a
// ServiceLibrary&.
#define ZAMUNIFIED_SERVICE_LIBRARY(Name, library) ZAMUNIFIED_SERVICE_LIBRARY_NAMED(Name, library)
#define ZAMUNIFIED_SERVICE_LIBRARY_NAMED(Name, library)                          \
    ZAMUNIFIED_RECORD_FRAMEWORK_VERSION(Name)                                    \
    static void zamunifiedRegister##Name(::ZAMUnified::ServiceLibrary& library); \
    extern "C" __attribute__((visibility("default"))) void Inject##Name(         \
        std::shared_ptr<::ZAMUnified::UnifiedFactory> factory) {                 \
        ::ZAMUnified::ServiceLibrary registration(std::move(factory));           \
        zamunifiedRegister##Name(registration);                                  \
    }                                                                            \
    static void zamunifiedRegister##Name(::ZAMUnified::ServiceLibrary& library)

#endif  // ZAMUNIFIED_SERVICELIBRARY_H
