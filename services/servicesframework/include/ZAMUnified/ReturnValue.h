// ZAMUnified::ReturnValue and its family: the result of a property read, a property write
// (VoidReturnValue) or a method call. Service code derives from NonListReturnValue or
// TypedReturnValue<T> and supplies the type name, the text form and, for business objects, the
// reflector through which the interpreter continues a call chain. Threading: immutable for the
// framework. Failure: getValueAsString() answers "" when there is no text form; getReflector()
// is empty for anything but a business object.
#ifndef ZAMUNIFIED_RETURNVALUE_H
#define ZAMUNIFIED_RETURNVALUE_H

#include <memory>
#include <string>
#include <utility>

#include <ZAMUnified/ValueTypeList.h>
#include <zam/SecureString.h>

namespace ZAMUnified {

class Reflector;

class ReturnValue {
  public:
    // Keeps the result's type name, for implementations of getReturnType() to answer.
    explicit ReturnValue(const std::string& returnType);
    virtual ~ReturnValue();

    virtual bool isList() = 0;
    // Named in the framework's conversion failure text.
    virtual std::string getReturnType() = 0;
    virtual std::string getValueAsString() = 0;
    virtual std::shared_ptr<Reflector> getReflector() = 0;

  protected:
    std::string returnType;
};

class NonListReturnValue : public ReturnValue {
  public:
    explicit NonListReturnValue(const std::string& returnType);
    ~NonListReturnValue() override;

    bool isList() override;
};

template <typename T>
class TypedReturnValue : public NonListReturnValue {
  public:
    TypedReturnValue(const std::string& type, T value)
        : NonListReturnValue(type), returnValue(std::move(value)) {}
    ~TypedReturnValue() override {}

    // A copy; for a secure string, a new handle on the same encrypted value.
    T getReturnValue() const { return returnValue; }

  protected:
    T returnValue;
};

// The scalar results the framework turns into text itself (ValueTypeList.h).
#define ZAMUNIFIED_EXTERN_TYPED_RETURN_VALUE(type, name, alias, kind, separator, suffix) \
    extern template class TypedReturnValue<type>;
ZAMUNIFIED_VALUE_TYPES(ZAMUNIFIED_EXTERN_TYPED_RETURN_VALUE)
#undef ZAMUNIFIED_EXTERN_TYPED_RETURN_VALUE

// The result of a property write: type "void", no text, no reflector.
class VoidReturnValue : public ReturnValue {
  public:
    VoidReturnValue();
    ~VoidReturnValue() override;

    bool isList() override;
    std::string getReturnType() override;
    std::string getValueAsString() override;
    std::shared_ptr<Reflector> getReflector() override;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_RETURNVALUE_H
