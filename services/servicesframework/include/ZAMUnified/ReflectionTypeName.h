// ZAMUnified::ReflectionTypeName<T>: the reflection type name of a C++ type, as the reflection
// helpers write it into properties, methods and results: a value type's name (ValueTypeList.h),
// "list(" + name + ")" for a shared vector of one, "object" for a business object, "void".
// Threading and failure: compile-time only; a type without a name fails to compile.
#ifndef ZAMUNIFIED_REFLECTIONTYPENAME_H
#define ZAMUNIFIED_REFLECTIONTYPENAME_H

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/ValueTypeList.h>

namespace ZAMUnified {

// The reflection type name of T: one of the framework's scalar names, "list(" + name + ")" for a
// shared vector of a scalar, "object" for a shared pointer to a business object, "void".
template <typename T, typename = void>
struct ReflectionTypeName;

namespace detail {

template <typename T>
struct FixedTypeName;
template <>
struct FixedTypeName<void> {
    static std::string get() { return "void"; }
};
// A value type also knows what separates the elements of a list's text.
#define ZAMUNIFIED_REFLECTION_TYPE_NAME(type, name, alias, kind, listSeparator, suffix) \
    template <>                                                                         \
    struct FixedTypeName<type> {                                                        \
        static std::string get() { return name; }                                       \
        static constexpr const char* separator = listSeparator;                         \
    };
ZAMUNIFIED_VALUE_TYPES(ZAMUNIFIED_REFLECTION_TYPE_NAME)
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

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REFLECTIONTYPENAME_H
