// ZAMUnified reflection helpers: let a service library describe a type from its member functions
// instead of writing one Property or Method subclass per member. ObjectReflector<C> turns getters,
// setters and member functions into properties and (overloaded) methods; ChangeNotifier,
// ListChangeNotifier and MutableListChangeNotifier announce changes to subscribers.
// Threading: build a reflector on one thread, then only read it; members run on the caller's
// thread. Notifiers may be used from any thread. Failure: refusals come from matchesParameters().
#ifndef ZAMUNIFIED_REFLECTIONHELPERS_H
#define ZAMUNIFIED_REFLECTIONHELPERS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/MutableListProperty.h>
#include <ZAMUnified/NonListProperty.h>
#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/PropertyNotifier.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ReturnValue.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <zam/SecureString.h>

namespace ZAMUnified {

namespace detail {

// One connected function per id; shared by a notifier and its connections, so a connection that
// outlives its notifier disconnects harmlessly.
template <typename... Args>
class SlotTable : public std::enable_shared_from_this<SlotTable<Args...>> {
  public:
    using Function = std::function<void(Args...)>;

    class Connection : public PropertyNotifierConnection,
                       public std::enable_shared_from_this<Connection> {
      public:
        Connection(std::weak_ptr<SlotTable> table, std::uint64_t id)
            : table_(std::move(table)), id_(id) {}
        void disconnect() override {
            // The table owns this connection; keep it alive until the call returns.
            std::shared_ptr<Connection> self = this->shared_from_this();
            if (std::shared_ptr<SlotTable> table = table_.lock()) {
                table->erase(id_);
            }
        }

      private:
        std::weak_ptr<SlotTable> table_;
        std::uint64_t id_;
    };

    std::weak_ptr<PropertyNotifierConnection> connect(Function function) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::uint64_t id = nextId_++;
        auto connection = std::make_shared<Connection>(this->shared_from_this(), id);
        slots_.emplace(id, Slot{connection, std::move(function)});
        return connection;
    }

    // Each function is looked up again just before it is called, so one disconnected by an
    // earlier function of the same round is not called.
    void notify(Args... args) {
        std::vector<std::uint64_t> ids;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& slot : slots_) {
                ids.push_back(slot.first);
            }
        }
        for (std::uint64_t id : ids) {
            Function function;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                auto found = slots_.find(id);
                if (found == slots_.end()) {
                    continue;
                }
                function = found->second.function;
            }
            if (function) {
                function(args...);
            }
        }
    }

    void erase(std::uint64_t id) {
        Slot released;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto found = slots_.find(id);
            if (found == slots_.end()) {
                return;
            }
            released = std::move(found->second);
            slots_.erase(found);
        }
        // `released` dies here, outside the lock: its function may own the last reference to a
        // property whose destruction reaches back into this table.
    }

    void clear() {
        std::map<std::uint64_t, Slot> released;
        std::lock_guard<std::mutex> lock(mutex_);
        released.swap(slots_);
        // The lock is released before `released`, declared first, is destroyed.
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return slots_.size();
    }

  private:
    struct Slot {
        std::shared_ptr<Connection> connection;
        Function function;
    };
    mutable std::mutex mutex_;             // guards slots_ and nextId_
    std::map<std::uint64_t, Slot> slots_;  // in order of connection
    std::uint64_t nextId_ = 0;
};

}  // namespace detail

// A list of connected functions taking Args. connect() hands back a weak connection; the notifier
// keeps the function only until that connection's disconnect() (or disconnectAll()), which
// releases it, and with it whatever it captured.
template <typename... Args>
class BasicChangeNotifier {
  public:
    BasicChangeNotifier() : table_(std::make_shared<detail::SlotTable<Args...>>()) {}
    BasicChangeNotifier(const BasicChangeNotifier&) = delete;
    BasicChangeNotifier& operator=(const BasicChangeNotifier&) = delete;

    // An empty function is connected but never called.
    std::weak_ptr<PropertyNotifierConnection> connect(std::function<void(Args...)> function) {
        return table_->connect(std::move(function));
    }
    // Calls the connected functions in order of connection, on the calling thread, outside the
    // notifier's lock: a function may connect or disconnect. Exceptions pass to the caller.
    void notify(Args... args) const { table_->notify(args...); }
    std::size_t connectionCount() const { return table_->size(); }
    // Releases every function, as if each connection had been disconnected.
    void disconnectAll() { table_->clear(); }

  private:
    std::shared_ptr<detail::SlotTable<Args...>> table_;
};

// For a ListProperty: the flag and two integers are the service library's to define.
using ListChangeNotifier = BasicChangeNotifier<bool, int, int>;
// For a MutableListProperty: the flag and three integers are the service library's to define.
using MutableListChangeNotifier = BasicChangeNotifier<bool, int, int, int>;

// The notifier of a NonListProperty.
class ChangeNotifier : public PropertyNotifier {
  public:
    std::weak_ptr<PropertyNotifierConnection> connect(std::function<void()> callback) override {
        return functions_.connect(std::move(callback));
    }
    void notify() const { functions_.notify(); }
    std::size_t connectionCount() const { return functions_.connectionCount(); }
    void disconnectAll() { functions_.disconnectAll(); }

  private:
    BasicChangeNotifier<> functions_;
};

// The reflection type name of T: one of the framework's scalar names, "list(" + name + ")" for a
// shared vector of a scalar, "object" for a shared pointer to a business object, "void".
template <typename T, typename = void>
struct ReflectionTypeName;

namespace detail {

template <typename T>
struct FixedTypeName;
#define ZAMUNIFIED_REFLECTION_TYPE_NAME(type, text) \
    template <>                                     \
    struct FixedTypeName<type> {                    \
        static std::string get() { return text; }   \
    }
ZAMUNIFIED_REFLECTION_TYPE_NAME(void, "void");
ZAMUNIFIED_REFLECTION_TYPE_NAME(int, "int");
ZAMUNIFIED_REFLECTION_TYPE_NAME(unsigned int, "unsigned int");
ZAMUNIFIED_REFLECTION_TYPE_NAME(float, "float");
ZAMUNIFIED_REFLECTION_TYPE_NAME(bool, "bool");
ZAMUNIFIED_REFLECTION_TYPE_NAME(long, "long");
ZAMUNIFIED_REFLECTION_TYPE_NAME(char, "char");
ZAMUNIFIED_REFLECTION_TYPE_NAME(long long, "long long");
ZAMUNIFIED_REFLECTION_TYPE_NAME(std::string, "std::string");
ZAMUNIFIED_REFLECTION_TYPE_NAME(std::wstring, "std::wstring");
ZAMUNIFIED_REFLECTION_TYPE_NAME(zam::SecureString, "zam::SecureString");
#undef ZAMUNIFIED_REFLECTION_TYPE_NAME

template <typename T>
struct IsSharedVector : std::false_type {};
template <typename E>
struct IsSharedVector<std::shared_ptr<std::vector<E>>> : std::true_type {
    using Element = E;
};

template <typename T>
struct IsObjectPointer : std::false_type {};
template <typename U>
struct IsObjectPointer<std::shared_ptr<U>>
    : std::integral_constant<bool, std::is_base_of<UnifiedBusinessObject, U>::value> {};

}  // namespace detail

template <typename T>
struct ReflectionTypeName<T, std::void_t<decltype(detail::FixedTypeName<T>::get())>> {
    static std::string get() { return detail::FixedTypeName<T>::get(); }
};
template <typename E>
struct ReflectionTypeName<std::shared_ptr<std::vector<E>>> {
    static std::string get() { return "list(" + ReflectionTypeName<E>::get() + ")"; }
};
template <typename U>
struct ReflectionTypeName<std::shared_ptr<U>,
                          std::enable_if_t<std::is_base_of<UnifiedBusinessObject, U>::value>> {
    static std::string get() { return "object"; }
};

// A business-object result: the interpreter continues a chain through the reflector the
// ReflectorFactory answers for it; its text is the interface name and GUID.
class ObjectReturnValue : public NonListReturnValue {
  public:
    explicit ObjectReturnValue(std::shared_ptr<UnifiedBusinessObject> object)
        : NonListReturnValue("object"), object_(std::move(object)) {}
    std::string getReturnType() override { return returnType; }
    std::string getValueAsString() override {
        return ReflectionTypeConversion::ToStringConversions::objectReturnTypeAsString(object_);
    }
    std::shared_ptr<Reflector> getReflector() override {
        return object_ ? ReflectorFactory::GetReflector(object_) : nullptr;
    }
    // The object itself, for a host that keeps objects by GUID to start requests at them.
    const std::shared_ptr<UnifiedBusinessObject>& getObject() const { return object_; }

  private:
    std::shared_ptr<UnifiedBusinessObject> object_;
};

namespace detail {

// A scalar result; its text comes from the framework's conversions.
template <typename T>
class ScalarValue : public TypedReturnValue<T> {
  public:
    ScalarValue(const std::string& type, T value) : TypedReturnValue<T>(type, std::move(value)) {}
    std::string getReturnType() override { return this->returnType; }
    std::string getValueAsString() override {
        return ReflectionTypeConversion::ToStringConversions::primitiveReturnTypeAsString(
            this->returnValue);
    }
    std::shared_ptr<Reflector> getReflector() override { return nullptr; }
};

// A list result: the elements' texts joined by the framework's list separator; "" for an empty
// pointer.
template <typename E>
class ListValue : public ReturnValue {
  public:
    ListValue(const std::string& type, std::shared_ptr<std::vector<E>> value)
        : ReturnValue(type), list_(std::move(value)) {}
    bool isList() override { return true; }
    std::string getReturnType() override { return returnType; }
    std::string getValueAsString() override {
        namespace conversion = ReflectionTypeConversion;
        const bool text = std::is_same<E, std::string>::value ||
                          std::is_same<E, std::wstring>::value ||
                          std::is_same<E, zam::SecureString>::value;
        const std::string separator =
            text ? conversion::kStringListSeparator : conversion::kPrimitiveListSeparator;
        std::string joined;
        if (!list_) {
            return joined;
        }
        for (std::size_t i = 0; i < list_->size(); ++i) {
            const E element = (*list_)[i];
            joined += (i == 0 ? "" : separator) +
                      conversion::ToStringConversions::primitiveReturnTypeAsString(element);
        }
        return joined;
    }
    std::shared_ptr<Reflector> getReflector() override { return nullptr; }
    const std::shared_ptr<std::vector<E>>& getList() const { return list_; }

  private:
    std::shared_ptr<std::vector<E>> list_;
};

template <typename T>
std::shared_ptr<ReturnValue> wrapValue(T value) {
    const std::string type = ReflectionTypeName<T>::get();
    if constexpr (IsSharedVector<T>::value) {
        return std::make_shared<ListValue<typename IsSharedVector<T>::Element>>(type,
                                                                                std::move(value));
    } else if constexpr (IsObjectPointer<T>::value) {
        return std::make_shared<ObjectReturnValue>(std::move(value));
    } else {
        return std::make_shared<ScalarValue<T>>(type, std::move(value));
    }
}

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

#endif  // ZAMUNIFIED_REFLECTIONHELPERS_H
