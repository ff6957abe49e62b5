// ZAMUnified::ObjectReflector<C>: a reflector built from the member functions of one object, so
// that a service library describes a type without one Property or Method subclass per member:
// getters and setters become properties, member functions (overloaded or not) methods.
// Threading: build a reflector on one thread, then only read it; members run on the caller's
// thread. Failure: refusals come from matchesParameters(); service code's exceptions pass through.
#ifndef ZAMUNIFIED_OBJECTREFLECTOR_H
#define ZAMUNIFIED_OBJECTREFLECTOR_H

#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ChangeNotifier.h>
#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/PropertyNotifier.h>
#include <ZAMUnified/ReflectionTypeName.h>
#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/detail/ObjectReflectorMembers.h>

namespace ZAMUnified {

// Picks one overload of a member function: selectOverload<std::string(const std::string&)>(&C::f).
template <typename Signature, typename C>
constexpr Signature C::*selectOverload(Signature C::*function) {
    return function;
}

// A reflector built from the member functions of one object of type C (a business object or a
// service). Members hold the object strongly; a subscription therefore keeps it alive until the
// subscriber disconnects. Adding a property name twice keeps the first (see Properties).
template <typename C>
class ObjectReflector : public Reflector {
  public:
    ObjectReflector(std::string interfaceName, std::shared_ptr<C> object)
        : interfaceName_(std::move(interfaceName)), object_(std::move(object)) {}

    std::string getInterfaceName() override { return interfaceName_; }
    // The object as an argument of its own interface name.
    std::shared_ptr<FormalParameter> getActualParameter() override {
        return std::make_shared<ActualParameter<std::shared_ptr<C>>>(interfaceName_, interfaceName_,
                                                                     object_);
    }
    const std::shared_ptr<C>& getObject() const { return object_; }

    // A NonListProperty from a getter `R C::get() [const]`. The options that may follow, in any
    // order: a setter `C::set(R)` (by value or const reference; what it returns is dropped), which
    // makes the property writable; a change notifier, which makes it watchable: a shared
    // PropertyNotifier (nullptr for none) or a pointer to a ChangeNotifier data member of C (or a
    // shared pointer to one); and a one-line description.
    //   r.property("Greeting", &S::getGreeting, &S::setGreeting, &S::greetingChanged, "...");
    // A getter may answer any reflection type (ReflectionTypeName.h), a std::vector included.
    template <typename G, typename... Options>
    ObjectReflector& property(const std::string& name, G getter, Options&&... options) {
        if constexpr (detail::SignatureOf<G>::value) {
            auto parsed = read<PropertyNotifier>(getter, std::forward<Options>(options)...);
            const bool primitive = parsed.access.type != "object";
            Properties()->addProperty(std::make_shared<detail::HelperNonListProperty>(
                name, std::move(parsed.access), primitive, std::move(parsed.changes)));
        } else {
            detail::SignatureOf<G>::report();
        }
        return *this;
    }

    // A ListProperty from a getter answering a list of a value type, a std::vector or a
    // std::shared_ptr<std::vector>; the options are those of property(), with a ListChangeNotifier.
    template <typename G, typename... Options>
    ObjectReflector& listProperty(const std::string& name, G getter, Options&&... options) {
        return addList<detail::HelperListProperty, ListChangeNotifier>(
            name, getter, std::forward<Options>(options)...);
    }
    // The same for a MutableListProperty, with a MutableListChangeNotifier.
    template <typename G, typename... Options>
    ObjectReflector& mutableListProperty(const std::string& name, G getter, Options&&... options) {
        return addList<detail::HelperMutableListProperty, MutableListChangeNotifier>(
            name, getter, std::forward<Options>(options)...);
    }

    // One overload of method `name`, after those already added. `parameterNames` name the
    // arguments in the readable signature; `description` says in one line what it does. An
    // overloaded member is picked with selectOverload<>(). Arguments and result may be any
    // reflection type; a std::vector argument is taken by value or by reference.
    template <typename F>
    ObjectReflector& method(const std::string& name, F function,
                            std::initializer_list<std::string> parameterNames = {},
                            std::string description = std::string()) {
        return addMethod(name, function, std::vector<std::string>(parameterNames),
                         std::move(description));
    }
    template <typename F>
    ObjectReflector& method(const std::string& name, F function, std::string description) {
        return addMethod(name, function, {}, std::move(description));
    }
    // The same with the names in a vector, for code that forwards them.
    template <typename F>
    ObjectReflector& addMethod(const std::string& name, F function,
                               const std::vector<std::string>& parameterNames,
                               std::string description) {
        if constexpr (detail::SignatureOf<F>::value) {
            using Arguments = typename detail::MemberFunction<F>::Arguments;
            const std::string signature = detail::signatureText<Arguments>(
                parameterNames, std::make_index_sequence<std::tuple_size<Arguments>::value>());
            Methods()->addMethod(std::make_shared<detail::HelperMethod<C, F>>(
                name, signature, object_, function, std::move(description)));
        } else {
            detail::SignatureOf<F>::report();
        }
        return *this;
    }

  private:
    // The getter's access and what the options add to it.
    template <typename Notifier, typename G, typename... Options>
    auto read(G getter, Options&&... options) {
        using Value = std::decay_t<typename detail::MemberFunction<G>::Result>;
        static_assert(!std::is_void<Value>::value, "a property's getter must answer a value");
        using Parsed = detail::PropertyOptions<C, Value, Notifier>;
        Parsed::template check<Options...>();
        Parsed parsed;
        parsed.access.type = ReflectionTypeName<Value>::get();
        parsed.access.get = [object = object_, getter]() {
            return detail::wrapValue<Value>(((*object).*getter)());
        };
        parsed.access.accepts = [](const std::shared_ptr<FormalParameter>& parameter) {
            return detail::isArgument<detail::WireType<Value>>(parameter);
        };
        (parsed.take(object_, std::forward<Options>(options)), ...);
        return parsed;
    }

    template <typename Member, typename Notifier, typename G, typename... Options>
    ObjectReflector& addList(const std::string& name, G getter, Options&&... options) {
        if constexpr (!detail::SignatureOf<G>::value) {
            detail::SignatureOf<G>::report();
        } else {
            using Value = std::decay_t<typename detail::MemberFunction<G>::Result>;
            static_assert(detail::IsValueList<Value>::value,
                          "a list property's getter answers a std::vector or a "
                          "std::shared_ptr<std::vector> of a value type");
            auto parsed = read<Notifier>(getter, std::forward<Options>(options)...);
            Properties()->addProperty(std::make_shared<Member>(name, std::move(parsed.access),
                                                               std::move(parsed.changes)));
        }
        return *this;
    }

    std::string interfaceName_;
    std::shared_ptr<C> object_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_OBJECTREFLECTOR_H
