// The members that ObjectReflector<C> builds: properties and method overloads erased to
// functions over a member function pointer, the argument checks they share, and the reading of a
// property's options (setter, notifier, description). Not for direct use: ObjectReflector.h is
// the interface. Threading: built on one thread, then only read; members run on the caller's
// thread. Failure: refused arguments give false or an empty result; a type that cannot be
// reflected fails to compile with one static_assert.
#ifndef ZAMUNIFIED_DETAIL_OBJECTREFLECTORMEMBERS_H
#define ZAMUNIFIED_DETAIL_OBJECTREFLECTORMEMBERS_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ChangeNotifier.h>
#include <ZAMUnified/HelperReturnValues.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/MemberDescription.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/MutableListProperty.h>
#include <ZAMUnified/NonListProperty.h>
#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/PropertyNotifier.h>
#include <ZAMUnified/ReflectionTypeName.h>
#include <ZAMUnified/ReturnValue.h>

namespace ZAMUnified {
namespace detail {

// Whether the argument is an ActualParameter<T>, or derives from one.
template <typename T>
bool isArgument(const FormalParameter* parameter) {
    if (!parameter) {
        return false;
    }
    // The exact type is the usual case, and comparing it needs no walk through the hierarchy.
    return typeid(*parameter) == typeid(ActualParameter<T>) ||
           dynamic_cast<const ActualParameter<T>*>(parameter) != nullptr;
}

template <typename T>
bool isArgument(const std::shared_ptr<FormalParameter>& parameter) {
    return isArgument<T>(parameter.get());
}

// How a value of the declared C++ type T travels as an argument: a std::vector as a shared
// pointer to one, as every list argument does; anything else as itself.
template <typename T>
struct Wire {
    using Type = T;
    static const T& from(const T& value) { return value; }
};
template <typename E>
struct Wire<std::vector<E>> {
    using Type = std::shared_ptr<std::vector<E>>;
    // An empty pointer reads as an empty list.
    static const std::vector<E>& from(const Type& value) {
        static const std::vector<E> empty;
        return value ? *value : empty;
    }
};
template <typename T>
using WireType = typename Wire<T>::Type;

// The value, as the declared type T, of an argument that isArgument<WireType<T>>() accepted.
template <typename T>
const T& argumentValue(const FormalParameter& parameter) {
    return Wire<T>::from(static_cast<const ActualParameter<WireType<T>>&>(parameter).value);
}
template <typename T>
const T& argumentValue(const ParametersCollection& parameters, int index) {
    return argumentValue<T>(*parameters[index]);
}

inline int argumentCount(const std::shared_ptr<ParametersCollection>& parameters) {
    return parameters ? parameters->size() : 0;
}

// The parts of a member function pointer, const or not.
template <typename F>
struct MemberFunction;
template <typename C, typename R, typename... Args>
struct MemberFunction<R (C::*)(Args...)> {
    using Result = R;
    using Arguments = std::tuple<std::decay_t<Args>...>;
};
template <typename C, typename R, typename... Args>
struct MemberFunction<R (C::*)(Args...) const> : MemberFunction<R (C::*)(Args...)> {};

// Whether the result and every argument of the member function F can be reflected.
template <typename Result, typename Arguments>
struct ReflectableSignature;
template <typename Result, typename... Args>
struct ReflectableSignature<Result, std::tuple<Args...>> {
    static constexpr bool value =
        (IsReflectionType<Result>::value && ... && IsReflectionType<Args>::value);
    // Names each type that cannot be reflected in ReflectionTypeName's one static_assert. The
    // helpers call it instead of building the member, so that no further errors bury that one.
    static void report() {
        (void)(sizeof(ReflectionTypeName<Result>) + ... + sizeof(ReflectionTypeName<Args>));
    }
};
template <typename F>
using SignatureOf = ReflectableSignature<std::decay_t<typename MemberFunction<F>::Result>,
                                         typename MemberFunction<F>::Arguments>;

// What a property does, erased to functions so that the three kinds share one shape. An empty
// `set` makes the property read-only.
struct PropertyAccess {
    std::string type;
    std::function<std::shared_ptr<ReturnValue>()> get;
    std::function<bool(const std::shared_ptr<FormalParameter>&)> accepts;
    std::function<void(const std::shared_ptr<FormalParameter>&)> set;
    std::string description;

    // Exactly one argument of the property's exact type, and a setter.
    bool matches(const std::shared_ptr<ParametersCollection>& parameters) const {
        return set && argumentCount(parameters) == 1 && accepts((*parameters)[0]);
    }
    std::shared_ptr<VoidReturnValue> write(
        const std::shared_ptr<ParametersCollection>& parameters) {
        if (!matches(parameters)) {
            return nullptr;
        }
        set((*parameters)[0]);
        return std::make_shared<VoidReturnValue>();
    }
};

template <typename T>
struct AlwaysFalse : std::false_type {};

// The options given after a property's getter, in any order: a setter (a member function of C
// taking one argument of the getter's type), a change notifier (a shared pointer to one, or a
// pointer to a notifier data member of C, held or shared) and a one-line description.
template <typename C, typename Value, typename Notifier>
struct PropertyOptions {
    template <typename... Options>
    static constexpr void check() {
        static_assert(
            (0 + ... + (std::is_member_function_pointer<std::decay_t<Options>>::value ? 1 : 0)) <=
                1,
            "a property takes at most one setter");
        static_assert((0 + ... + (isDescription<Options>() ? 1 : 0)) <= 1,
                      "a property takes at most one description");
        static_assert((0 + ... + (isNotifier<Options>() ? 1 : 0)) <= 1,
                      "a property takes at most one change notifier");
    }

    template <typename Option>
    static constexpr bool isDescription() {
        using O = std::decay_t<Option>;
        return !std::is_same<O, std::nullptr_t>::value &&
               !std::is_convertible<Option, std::shared_ptr<Notifier>>::value &&
               std::is_convertible<Option, std::string>::value;
    }
    template <typename Option>
    static constexpr bool isNotifier() {
        using O = std::decay_t<Option>;
        return std::is_member_object_pointer<O>::value ||
               std::is_convertible<Option, std::shared_ptr<Notifier>>::value;
    }

    template <typename Option>
    void take(const std::shared_ptr<C>& object, Option&& option) {
        using O = std::decay_t<Option>;
        if constexpr (std::is_member_function_pointer<O>::value) {
            takeSetter(object, option);
        } else if constexpr (std::is_member_object_pointer<O>::value) {
            takeNotifierMember(object, option);
        } else if constexpr (std::is_convertible<Option, std::shared_ptr<Notifier>>::value) {
            changes = std::forward<Option>(option);
        } else if constexpr (isDescription<Option>()) {
            access.description = std::forward<Option>(option);
        } else {
            static_assert(AlwaysFalse<O>::value,
                          "a property option is a setter (a member function of the class), a "
                          "change notifier (a shared pointer to one, or a notifier data member "
                          "of the class) or a one-line description");
        }
    }

    template <typename S>
    void takeSetter(const std::shared_ptr<C>& object, S setter) {
        using Arguments = typename MemberFunction<S>::Arguments;
        static_assert(std::tuple_size<Arguments>::value == 1,
                      "the setter must take one argument of the getter's type");
        using Argument = std::tuple_element_t<0, Arguments>;
        static_assert(std::is_same<WireType<Value>, WireType<Argument>>::value,
                      "the setter must take one argument of the getter's type");
        access.set = [object, setter](const std::shared_ptr<FormalParameter>& parameter) {
            ((*object).*setter)(argumentValue<Argument>(*parameter));
        };
    }

    // The member itself, shared with the object so that a subscription keeps both alive.
    template <typename Field, typename Owner>
    void takeNotifierMember(const std::shared_ptr<C>& object, Field Owner::*member) {
        static_assert(std::is_base_of<Owner, C>::value,
                      "a notifier member must belong to the reflected class");
        Field& field = (*object).*member;
        if constexpr (std::is_convertible<Field, std::shared_ptr<Notifier>>::value) {
            changes = field;
        } else {
            static_assert(std::is_base_of<Notifier, Field>::value,
                          "a notifier member of a plain property is a ChangeNotifier, of a list "
                          "property a ListChangeNotifier, of a mutable list property a "
                          "MutableListChangeNotifier (or a shared pointer to one)");
            changes = std::shared_ptr<Notifier>(object, &field);
        }
    }

    PropertyAccess access;
    std::shared_ptr<Notifier> changes;
};

class HelperNonListProperty : public NonListProperty, public MemberDescription {
  public:
    HelperNonListProperty(const std::string& name, PropertyAccess access, bool primitiveValue,
                          std::shared_ptr<PropertyNotifier> changes)
        : NonListProperty(access.type, name, !access.set, primitiveValue, std::move(changes)),
          access_(std::move(access)) {}
    std::shared_ptr<ReturnValue> getValue() override { return access_.get(); }
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        return access_.matches(parameters);
    }
    std::shared_ptr<VoidReturnValue> setValue(
        std::shared_ptr<ParametersCollection> parameters) override {
        return access_.write(parameters);
    }
    std::string getDescription() const override { return access_.description; }

  private:
    PropertyAccess access_;
};

// The two list kinds differ only in their base and in the callback their notifier takes.
template <typename Base, typename Notifier, typename... CallbackArgs>
class HelperNotifyingListProperty : public Base, public MemberDescription {
  public:
    HelperNotifyingListProperty(const std::string& name, PropertyAccess access,
                                std::shared_ptr<Notifier> changes)
        : Base(access.type, name, !access.set, true),
          access_(std::move(access)),
          changes_(std::move(changes)) {}
    std::shared_ptr<ReturnValue> getValue() override { return access_.get(); }
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        return access_.matches(parameters);
    }
    std::shared_ptr<VoidReturnValue> setValue(
        std::shared_ptr<ParametersCollection> parameters) override {
        return access_.write(parameters);
    }
    std::weak_ptr<PropertyNotifierConnection> subscribe(
        std::function<void(CallbackArgs...)> callback) override {
        return changes_ ? changes_->connect(std::move(callback))
                        : std::weak_ptr<PropertyNotifierConnection>();
    }
    std::string getDescription() const override { return access_.description; }

  private:
    PropertyAccess access_;
    std::shared_ptr<Notifier> changes_;
};

using HelperListProperty =
    HelperNotifyingListProperty<ListProperty, ListChangeNotifier, bool, int, int>;
using HelperMutableListProperty =
    HelperNotifyingListProperty<MutableListProperty, MutableListChangeNotifier, bool, int, int,
                                int>;

// One overload, calling a member function of the reflected object.
template <typename C, typename F>
class HelperMethod : public Method, public MemberDescription {
  public:
    using Traits = MemberFunction<F>;
    using Arguments = typename Traits::Arguments;
    static constexpr std::size_t kArity = std::tuple_size<Arguments>::value;

    HelperMethod(const std::string& name, const std::string& signature, std::shared_ptr<C> object,
                 F function, std::string description = std::string())
        : Method(ReflectionTypeName<std::decay_t<typename Traits::Result>>::get(), signature, name),
          object_(std::move(object)),
          function_(function),
          description_(std::move(description)) {}

    bool matchesParameters(std::shared_ptr<ParametersCollection> arguments) override {
        return accepts(arguments);
    }
    // Answers an empty pointer for arguments matchesParameters() refuses.
    std::shared_ptr<ReturnValue> invoke(std::shared_ptr<ParametersCollection> arguments) override {
        if (!accepts(arguments)) {
            return nullptr;
        }
        return call(arguments, std::make_index_sequence<kArity>());
    }
    std::string getDescription() const override { return description_; }

  private:
    static bool accepts(const std::shared_ptr<ParametersCollection>& arguments) {
        return argumentCount(arguments) == static_cast<int>(kArity) &&
               matchesEach(arguments, std::make_index_sequence<kArity>());
    }
    template <std::size_t... I>
    // Takes the pointer, which is empty for a call without arguments, and reads it only per
    // argument.
    static bool matchesEach(const std::shared_ptr<ParametersCollection>& arguments,
                            std::index_sequence<I...>) {
        return (true && ... &&
                isArgument<WireType<std::tuple_element_t<I, Arguments>>>(
                    (*arguments)[static_cast<int>(I)].get()));
    }
    template <std::size_t... I>
    std::shared_ptr<ReturnValue> call(const std::shared_ptr<ParametersCollection>& arguments,
                                      std::index_sequence<I...>) {
        (void)arguments;  // unused without arguments
        using Result = std::decay_t<typename Traits::Result>;
        if constexpr (std::is_void<Result>::value) {
            ((*object_).*function_)(argumentValue<std::tuple_element_t<I, Arguments>>(
                *arguments, static_cast<int>(I))...);
            return std::make_shared<VoidReturnValue>();
        } else {
            return wrapValue<Result>(
                ((*object_).*function_)(argumentValue<std::tuple_element_t<I, Arguments>>(
                    *arguments, static_cast<int>(I))...));
        }
    }

    std::shared_ptr<C> object_;
    F function_;
    std::string description_;
};

// "int a, int b": each argument's type name and the name the author gave, "argN" (from 1) when
// the author gave fewer names.
template <typename Arguments, std::size_t... I>
std::string signatureText(const std::vector<std::string>& names, std::index_sequence<I...>) {
    std::string text;
    ((text += (I == 0 ? "" : ", ") + ReflectionTypeName<std::tuple_element_t<I, Arguments>>::get() +
              " " + (I < names.size() ? names[I] : "arg" + std::to_string(I + 1))),
     ...);
    return text;
}

}  // namespace detail

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_DETAIL_OBJECTREFLECTORMEMBERS_H
