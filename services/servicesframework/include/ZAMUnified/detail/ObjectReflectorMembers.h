// The members that ObjectReflector<C> builds: properties and method overloads erased to
// functions over a member function pointer, and the argument checks they share. Not for direct
// use: ObjectReflector.h is the interface. Threading: built on one thread, then only read;
// members run on the caller's thread. Failure: refused arguments give false or an empty result.
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

// The value of an argument that isArgument<T>() accepted, at an index below size().
template <typename T>
const T& argumentValue(const ParametersCollection& parameters, int index) {
    return static_cast<const ActualParameter<T>&>(*parameters[index]).value;
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

// What a property does, erased to functions so that the three kinds share one shape. An empty
// `set` makes the property read-only.
struct PropertyAccess {
    std::string type;
    std::function<std::shared_ptr<ReturnValue>()> get;
    std::function<bool(const std::shared_ptr<FormalParameter>&)> accepts;
    std::function<void(const std::shared_ptr<FormalParameter>&)> set;

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

class HelperNonListProperty : public NonListProperty {
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

  private:
    PropertyAccess access_;
};

// The two list kinds differ only in their base and in the callback their notifier takes.
template <typename Base, typename Notifier, typename... CallbackArgs>
class HelperNotifyingListProperty : public Base {
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
class HelperMethod : public Method {
  public:
    using Traits = MemberFunction<F>;
    using Arguments = typename Traits::Arguments;
    static constexpr std::size_t kArity = std::tuple_size<Arguments>::value;

    HelperMethod(const std::string& name, const std::string& signature, std::shared_ptr<C> object,
                 F function)
        : Method(ReflectionTypeName<std::decay_t<typename Traits::Result>>::get(), signature, name),
          object_(std::move(object)),
          function_(function) {}

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
                isArgument<std::tuple_element_t<I, Arguments>>(
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
