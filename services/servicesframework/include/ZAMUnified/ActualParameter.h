// ZAMUnified::ActualParameter<T>: an argument that carries its value in the public field `value`,
// which service code reads after a dynamic pointer cast to the exact instantiation. The value
// types (ValueTypeList.h) and lists of them are built once in the library, so that every
// plug-in shares one type identity. Threading: immutable for the framework; shared lists and
// secure strings follow their own rules.
// Failure: a cast to another instantiation gives an empty pointer.
#ifndef ZAMUNIFIED_ACTUALPARAMETER_H
#define ZAMUNIFIED_ACTUALPARAMETER_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/ValueTypeList.h>
#include <zam/SecureString.h>

namespace ZAMUnified {

template <typename T>
class ActualParameter : public FormalParameter {
  public:
    // A list value is a shared pointer, so the parameter shares the vector with the caller; a
    // secure string is a second handle on the same encrypted value.
    ActualParameter(const std::string& type, const std::string& name, T initialValue)
        : FormalParameter(type, name), value(std::move(initialValue)) {}
    ~ActualParameter() override {}

    T value;
};

// The value types a text front end can name, and lists of them (ValueTypeList.h), built once in
// the library.
#define ZAMUNIFIED_EXTERN_ACTUAL_PARAMETER(type, name, alias, kind, separator, suffix) \
    extern template class ActualParameter<type>;                                       \
    extern template class ActualParameter<std::shared_ptr<std::vector<type>>>;
ZAMUNIFIED_VALUE_TYPES(ZAMUNIFIED_EXTERN_ACTUAL_PARAMETER)
#undef ZAMUNIFIED_EXTERN_ACTUAL_PARAMETER

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_ACTUALPARAMETER_H
