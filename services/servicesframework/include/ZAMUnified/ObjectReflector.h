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

    // A read-only NonListProperty from a getter `R C::get() [const]`.
    template <typename G>
    ObjectReflector& property(const std::string& name, G getter,
                              std::shared_ptr<PropertyNotifier> changes = nullptr) {
        return addNonList(name, access(getter), std::move(changes));
    }
    // A writable NonListProperty; the setter takes one argument of the getter's type (by value
    // or const reference) and may return anything, which is dropped.
    template <typename G, typename S,
              typename = std::enable_if_t<std::is_member_function_pointer<S>::value>>
    ObjectReflector& property(const std::string& name, G getter, S setter,
                              std::shared_ptr<PropertyNotifier> changes = nullptr) {
        return addNonList(name, access(getter, setter), std::move(changes));
    }

    // A ListProperty from a getter answering std::shared_ptr<std::vector<E>>, read-only unless a
    // setter is given.
    template <typename G>
    ObjectReflector& listProperty(const std::string& name, G getter,
                                  std::shared_ptr<ListChangeNotifier> changes) {
        Properties()->addProperty(
            std::make_shared<detail::HelperListProperty>(name, access(getter), std::move(changes)));
        return *this;
    }
    template <typename G, typename S>
    ObjectReflector& listProperty(const std::string& name, G getter, S setter,
                                  std::shared_ptr<ListChangeNotifier> changes) {
        Properties()->addProperty(std::make_shared<detail::HelperListProperty>(
            name, access(getter, setter), std::move(changes)));
        return *this;
    }
    template <typename G>
    ObjectReflector& mutableListProperty(const std::string& name, G getter,
                                         std::shared_ptr<MutableListChangeNotifier> changes) {
        Properties()->addProperty(std::make_shared<detail::HelperMutableListProperty>(
            name, access(getter), std::move(changes)));
        return *this;
    }
    template <typename G, typename S>
    ObjectReflector& mutableListProperty(const std::string& name, G getter, S setter,
                                         std::shared_ptr<MutableListChangeNotifier> changes) {
        Properties()->addProperty(std::make_shared<detail::HelperMutableListProperty>(
            name, access(getter, setter), std::move(changes)));
        return *this;
    }

    // One overload of method `name`, after those already added. `parameterNames` name the
    // arguments in the readable signature. An overloaded member is picked with selectOverload<>().
    template <typename F>
    ObjectReflector& method(const std::string& name, F function,
                            std::initializer_list<std::string> parameterNames = {}) {
        using Arguments = typename detail::MemberFunction<F>::Arguments;
        const std::string signature = detail::signatureText<Arguments>(
            std::vector<std::string>(parameterNames),
            std::make_index_sequence<std::tuple_size<Arguments>::value>());
        Methods()->addMethod(
            std::make_shared<detail::HelperMethod<C, F>>(name, signature, object_, function));
        return *this;
    }

  private:
    template <typename G>
    detail::PropertyAccess access(G getter) {
        using Value = std::decay_t<typename detail::MemberFunction<G>::Result>;
        detail::PropertyAccess result;
        result.type = ReflectionTypeName<Value>::get();
        result.get = [object = object_, getter]() {
            return detail::wrapValue<Value>(((*object).*getter)());
        };
        result.accepts = [](const std::shared_ptr<FormalParameter>& parameter) {
            return detail::isArgument<Value>(parameter);
        };
        return result;
    }
    template <typename G, typename S>
    detail::PropertyAccess access(G getter, S setter) {
        using Value = std::decay_t<typename detail::MemberFunction<G>::Result>;
        static_assert(
            std::is_same<std::tuple<Value>, typename detail::MemberFunction<S>::Arguments>::value,
            "the setter must take one argument of the getter's type");
        detail::PropertyAccess result = access(getter);
        result.set = [object = object_, setter](const std::shared_ptr<FormalParameter>& parameter) {
            ((*object).*setter)(std::static_pointer_cast<ActualParameter<Value>>(parameter)->value);
        };
        return result;
    }
    ObjectReflector& addNonList(const std::string& name, detail::PropertyAccess propertyAccess,
                                std::shared_ptr<PropertyNotifier> changes) {
        using Detail = detail::HelperNonListProperty;
        const bool primitive = propertyAccess.type != "object";
        Properties()->addProperty(std::make_shared<Detail>(name, std::move(propertyAccess),
                                                           primitive, std::move(changes)));
        return *this;
    }

    std::string interfaceName_;
    std::shared_ptr<C> object_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_OBJECTREFLECTOR_H
