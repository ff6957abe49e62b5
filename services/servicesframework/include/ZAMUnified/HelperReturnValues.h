// ZAMUnified helper results: the return values that the reflection helpers make for a getter or a
// member function: ScalarReturnValue<T> for a value type, ListReturnValue<E> for a vector of one
// (returned by value or shared), ObjectReturnValue for a business object. Text front ends read them
// back by their types. Threading: immutable once made; any thread. Failure: an empty list or object
// pointer gives the texts "" and "NULL_SHARED_PTR" and no reflector.
#ifndef ZAMUNIFIED_HELPERRETURNVALUES_H
#define ZAMUNIFIED_HELPERRETURNVALUES_H

#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ReflectionTypeName.h>
#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ReturnValue.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <zam/SecureString.h>

namespace ZAMUnified {

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

// A scalar result of a value type; its text comes from the framework's conversions.
template <typename T>
class ScalarReturnValue : public TypedReturnValue<T> {
  public:
    ScalarReturnValue(const std::string& type, T value)
        : TypedReturnValue<T>(type, std::move(value)) {}
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
class ListReturnValue : public ReturnValue {
  public:
    ListReturnValue(const std::string& type, std::shared_ptr<std::vector<E>> value)
        : ReturnValue(type), list_(std::move(value)) {}
    bool isList() override { return true; }
    std::string getReturnType() override { return returnType; }
    std::string getValueAsString() override {
        namespace conversion = ReflectionTypeConversion;
        const std::string separator = detail::FixedTypeName<E>::separator;
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

namespace detail {

// The names these results had before they were public.
template <typename T>
using ScalarValue = ScalarReturnValue<T>;
template <typename E>
using ListValue = ListReturnValue<E>;

// The result the helpers make for a value of type T; a std::vector is moved into a shared one,
// as list results hold their elements.
template <typename T>
std::shared_ptr<ReturnValue> wrapValue(T value) {
    const std::string type = ReflectionTypeName<T>::get();
    if constexpr (IsSharedVector<T>::value) {
        return std::make_shared<ListReturnValue<typename IsSharedVector<T>::Element>>(
            type, std::move(value));
    } else if constexpr (IsVector<T>::value) {
        using Element = typename IsVector<T>::Element;
        return std::make_shared<ListReturnValue<Element>>(
            type, std::make_shared<std::vector<Element>>(std::move(value)));
    } else if constexpr (IsObjectPointer<T>::value) {
        return std::make_shared<ObjectReturnValue>(std::move(value));
    } else {
        return std::make_shared<ScalarReturnValue<T>>(type, std::move(value));
    }
}

}  // namespace detail
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_HELPERRETURNVALUES_H
