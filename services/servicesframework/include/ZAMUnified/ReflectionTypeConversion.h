// ZAMUnified::ReflectionTypeConversion: conversions between text and the reflection value types.
// Type names: the value types of ValueTypeList.h (such as "int", "std::string"/"string") and
// "list(" + one of these + ")"; numbers, truth values and chars in lists are separated by ";",
// strings by "|".
// Threading: stateless; any thread. Failure: text the platform parsers reject throws
// std::invalid_argument or std::out_of_range; GetReturnValueAsString answers failure texts.
#ifndef ZAMUNIFIED_REFLECTIONTYPECONVERSION_H
#define ZAMUNIFIED_REFLECTIONTYPECONVERSION_H

#include <memory>
#include <string>
#include <vector>

#include <KORCoreUtils.h>

#include <ZAMUnified/Image.h>
#include <ZAMUnified/ReturnValue.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <zam/SecureString.h>

namespace ZAMUnified {
namespace ReflectionTypeConversion {

// Separators of list elements in value text.
extern const char* const kPrimitiveListSeparator;  // ";" for numbers, truth values, chars
extern const char* const kStringListSeparator;     // "|" for strings, wide and secure strings

namespace ToStringConversions {

std::string primitiveReturnTypeAsString(const int& value);
std::string primitiveReturnTypeAsString(const unsigned int& value);
std::string primitiveReturnTypeAsString(const float& value);
std::string primitiveReturnTypeAsString(const bool& value);
std::string primitiveReturnTypeAsString(const long& value);
std::string primitiveReturnTypeAsString(const long long& value);
// The shortest text that reads back to the same value ("0.1", "1e+300", "inf", "nan").
std::string primitiveReturnTypeAsString(const double& value);
// The character itself, not its code.
std::string primitiveReturnTypeAsString(const char& value);
std::string primitiveReturnTypeAsString(const std::string& value);
std::string primitiveReturnTypeAsString(const std::wstring& value);
// The decrypted text up to its first NUL; "" for an empty or undecryptable string.
std::string primitiveReturnTypeAsString(const zam::SecureString& value);
// Always "": an image has no text form.
std::string primitiveReturnTypeAsString(const std::shared_ptr<Image>& value);

std::string primitiveReturnTypeIntAsString(const int& value);
std::string primitiveReturnTypeUnsignedIntAsString(const unsigned int& value);
std::string primitiveReturnTypeFloatAsString(const float& value);
std::string primitiveReturnTypeBoolAsString(const bool& value);
std::string primitiveReturnTypeLongAsString(const long& value);
std::string primitiveReturnTypeLongLongAsString(const long long& value);
std::string primitiveReturnTypeDoubleAsString(const double& value);
std::string primitiveReturnTypeCharAsString(const char& value);
std::string primitiveReturnTypeStringAsString(const std::string& value);
std::string primitiveReturnTypeWStringAsString(const std::wstring& value);
std::string primitiveReturnTypeSecureStringAsString(const zam::SecureString& value);
std::string primitiveReturnTypeImageAsString(const std::shared_ptr<Image>& value);

// "NULL_SHARED_PTR" for an empty pointer, else the interface name, a space and the GUID.
std::string objectReturnTypeAsString(std::shared_ptr<UnifiedBusinessObject> object);

}  // namespace ToStringConversions

namespace FromStringConversions {

// The numbers and truth values are parsed strictly by the platform and throw on bad text.
int parameterTypeStringAsPrimitiveTypeInt(const std::string& text);
unsigned int parameterTypeStringAsPrimitiveTypeUnsignedInt(const std::string& text);
float parameterTypeStringAsPrimitiveTypeFloat(const std::string& text);
bool parameterTypeStringAsPrimitiveTypeBool(const std::string& text);
long parameterTypeStringAsPrimitiveTypeLong(const std::string& text);
// The first character; NUL for an empty text.
char parameterTypeStringAsPrimitiveTypeChar(const std::string& text);
std::string parameterTypeStringAsPrimitiveTypeString(const std::string& text);
std::wstring parameterTypeStringAsPrimitiveTypeWString(const std::string& text);
// Holds every byte of the text, NUL characters included.
zam::SecureString parameterTypeStringAsPrimitiveTypeSecureString(const std::string& text);
long long parameterTypeStringAsPrimitiveTypeLongLong(const std::string& text);
// As strict as the platform's float parsing: blanks around the number and a leading "+" are
// allowed, anything else throws std::invalid_argument, a value beyond double std::out_of_range.
double parameterTypeStringAsPrimitiveTypeDouble(const std::string& text);

// Splits `text` at `separator` (empty pieces kept, none for an empty text, nothing trimmed) and
// converts each piece in order; what `convert` throws passes through.
template <typename E>
std::shared_ptr<std::vector<E>> parameterTypeStringAsList(std::string text, std::string separator,
                                                          E (*convert)(const std::string&)) {
    std::shared_ptr<std::vector<E>> list = std::make_shared<std::vector<E>>();
    std::vector<std::string> pieces;
    KORCoreUtils::split(text, pieces, separator);
    for (const std::string& piece : pieces) {
        list->push_back(convert(piece));
    }
    return list;
}

std::shared_ptr<std::vector<int>> parameterTypeStringAsListOfPrimitiveTypeInt(
    const std::string& text);
std::shared_ptr<std::vector<unsigned int>> parameterTypeStringAsListOfPrimitiveTypeUnsignedInt(
    const std::string& text);
std::shared_ptr<std::vector<float>> parameterTypeStringAsListOfPrimitiveTypeFloat(
    const std::string& text);
std::shared_ptr<std::vector<bool>> parameterTypeStringAsListOfPrimitiveTypeBool(
    const std::string& text);
std::shared_ptr<std::vector<long>> parameterTypeStringAsListOfPrimitiveTypeLong(
    const std::string& text);
std::shared_ptr<std::vector<char>> parameterTypeStringAsListOfPrimitiveTypeChar(
    const std::string& text);
std::shared_ptr<std::vector<std::string>> parameterTypeStringAsListOfPrimitiveTypeString(
    const std::string& text);
std::shared_ptr<std::vector<std::wstring>> parameterTypeStringAsListOfPrimitiveTypeWString(
    const std::string& text);
// Each piece is encrypted on its own.
std::shared_ptr<std::vector<zam::SecureString>>
parameterTypeStringAsListOfPrimitiveTypeSecureString(const std::string& text);
std::shared_ptr<std::vector<long long>> parameterTypeStringAsListOfPrimitiveTypeLongLong(
    const std::string& text);
std::shared_ptr<std::vector<double>> parameterTypeStringAsListOfPrimitiveTypeDouble(
    const std::string& text);

}  // namespace FromStringConversions

namespace ReturnTypeToStringConversions {

// The text of a result: a TypedReturnValue<T> of a value type (ValueTypeList.h, tried in the
// list's order) is converted by ToStringConversions; any other result answers its own
// getValueAsString(). Never throws for a missing value; instead answers
//   "GetReturnValueAsString received a NULL pointer to a ReturnValue." for an empty pointer, and
//   "Failed to convert the ReturnValue to a string successfully, for ReturnType \"<type>\"."
// when the result's own text is empty; a list result (isList()) with no elements answers "".
std::string GetReturnValueAsString(std::shared_ptr<ReturnValue> value);

}  // namespace ReturnTypeToStringConversions

}  // namespace ReflectionTypeConversion
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REFLECTIONTYPECONVERSION_H
