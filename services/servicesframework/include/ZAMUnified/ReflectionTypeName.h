// ZAMUnified::ReflectionTypeName<T>: the reflection type name of a C++ type, as the reflection
// helpers write it into properties, methods and results: a value type's name (ValueTypeList.h),
// "list(" + name + ")" for a std::vector of one (held by value or by shared pointer), "object"
// for a business object, "void".
// Threading and failure: compile-time only; any other type fails to compile with one
// static_assert that lists the supported types.
#ifndef ZAMUNIFIED_REFLECTIONTYPENAME_H
#define ZAMUNIFIED_REFLECTIONTYPENAME_H

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/ValueTypeList.h>

namespace ZAMUnified {

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

template <typename T, typename = void>
struct HasFixedName : std::false_type {};
template <typename T>
struct HasFixedName<T, std::void_t<decltype(FixedTypeName<T>::get())>> : std::true_type {};

template <typename T>
struct IsSharedVector : std::false_type {};
template <typename E>
struct IsSharedVector<std::shared_ptr<std::vector<E>>> : std::true_type {
    using Element = E;
};

template <typename T>
struct IsVector : std::false_type {};
template <typename E, typename A>
struct IsVector<std::vector<E, A>> : std::true_type {
    using Element = E;
};

template <typename T>
struct IsObjectPointer : std::false_type {};
template <typename U>
struct IsObjectPointer<std::shared_ptr<U>>
    : std::integral_constant<bool, std::is_base_of<UnifiedBusinessObject, U>::value> {};

// A list of a value type, held by value or by shared pointer.
template <typename T>
struct IsValueList : std::false_type {};
template <typename E>
struct IsValueList<std::shared_ptr<std::vector<E>>> : HasFixedName<E> {
    using Element = E;
};
template <typename E>
struct IsValueList<std::vector<E>> : HasFixedName<E> {
    using Element = E;
};

}  // namespace detail

// Whether the reflection helpers can carry T as a property value, argument or result.
template <typename T>
struct IsReflectionType : std::integral_constant<bool, detail::HasFixedName<T>::value ||
                                                           detail::IsValueList<T>::value ||
                                                           detail::IsObjectPointer<T>::value> {};

// The names of the value types, for the message below: "int, unsigned int, ...".
#define ZAMUNIFIED_REFLECTION_TYPE_LISTED(type, name, alias, kind, separator, suffix) name ", "

// Only a type that no specialisation below names reaches this one: its one diagnostic names the
// type (in the instantiation it reports) and what would have been accepted.
template <typename T, typename = void>
struct ReflectionTypeName {
    static_assert(IsReflectionType<T>::value,
                  "ZAMUnified::ReflectionTypeName<T>: T cannot be a property value, argument or "
                  "result. Supported: "
                  "the value types " ZAMUNIFIED_VALUE_TYPES(ZAMUNIFIED_REFLECTION_TYPE_LISTED)
                      "a std::vector or std::shared_ptr<std::vector> of one of them, a "
                      "std::shared_ptr to a UnifiedBusinessObject, and void as a result");
    static std::string get() { return std::string(); }
};

#undef ZAMUNIFIED_REFLECTION_TYPE_LISTED

template <typename T>
struct ReflectionTypeName<T, std::enable_if_t<detail::HasFixedName<T>::value>> {
    static std::string get() { return detail::FixedTypeName<T>::get(); }
};
// A list, whether a getter answers the vector itself or a shared pointer to it.
template <typename T>
struct ReflectionTypeName<T, std::enable_if_t<detail::IsValueList<T>::value>> {
    static std::string get() {
        return "list(" + detail::FixedTypeName<typename detail::IsValueList<T>::Element>::get() +
               ")";
    }
};
template <typename U>
struct ReflectionTypeName<std::shared_ptr<U>,
                          std::enable_if_t<std::is_base_of<UnifiedBusinessObject, U>::value>> {
    static std::string get() { return "object"; }
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REFLECTIONTYPENAME_H
