#include <ZAMUnified/ReflectionTypeConversion.h>

#include <ZAMUnified/ValueTypes.h>
#include <zam/SecureStringReader.h>
#include <zam/SecureStringUtils.h>

#include <charconv>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

namespace ZAMUnified {
namespace ReflectionTypeConversion {

const char* const kPrimitiveListSeparator = ";";
const char* const kStringListSeparator = "|";

namespace ToStringConversions {

std::string primitiveReturnTypeAsString(const int& value) {
    return KORCoreUtils::toString(value);
}

std::string primitiveReturnTypeAsString(const unsigned int& value) {
    return KORCoreUtils::toString(value);
}

std::string primitiveReturnTypeAsString(const float& value) {
    return KORCoreUtils::toString(value);
}

std::string primitiveReturnTypeAsString(const bool& value) {
    return KORCoreUtils::toString(value);
}

std::string primitiveReturnTypeAsString(const long& value) {
    return KORCoreUtils::toString(value);
}

std::string primitiveReturnTypeAsString(const long long& value) {
    return KORCoreUtils::toString(value);
}

std::string primitiveReturnTypeAsString(const double& value) {
    // The shortest round-trip form of a double is at most 24 characters.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string primitiveReturnTypeAsString(const char& value) {
    return std::string(1, value);
}

std::string primitiveReturnTypeAsString(const std::string& value) {
    return value;
}

std::string primitiveReturnTypeAsString(const std::wstring& value) {
    return KORCoreUtils::toString(value);
}

std::string primitiveReturnTypeAsString(const zam::SecureString& value) {
    // The reader zeroes its copy of the plain text when it goes.
    zam::SecureStringReader reader;
    value.getUnsecureString(reader);
    return std::string(reader.c_str());
}

std::string primitiveReturnTypeAsString(const std::shared_ptr<Image>& /*value*/) {
    return "";
}

std::string primitiveReturnTypeIntAsString(const int& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeUnsignedIntAsString(const unsigned int& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeFloatAsString(const float& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeBoolAsString(const bool& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeLongAsString(const long& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeLongLongAsString(const long long& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeDoubleAsString(const double& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeCharAsString(const char& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeStringAsString(const std::string& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeWStringAsString(const std::wstring& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeSecureStringAsString(const zam::SecureString& value) {
    return primitiveReturnTypeAsString(value);
}

std::string primitiveReturnTypeImageAsString(const std::shared_ptr<Image>& value) {
    return primitiveReturnTypeAsString(value);
}

std::string objectReturnTypeAsString(std::shared_ptr<UnifiedBusinessObject> object) {
    if (!object) {
        return "NULL_SHARED_PTR";
    }
    return object->getInterfaceName() + " " + object->getGuid();
}

}  // namespace ToStringConversions

namespace FromStringConversions {

namespace {

// Reads text that is nothing but an integer in plain decimal form ("42", "-7"), in range of T.
// Such text has no blanks or plus sign to look at and reads the same as through KORCoreUtils; the
// callers leave everything else, errors included, to KORCoreUtils.
template <typename T>
bool plainDecimal(const std::string& text, T& value) {
    const char* const end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, value);
    return parsed.ec == std::errc() && parsed.ptr == end;
}

// The platform parses float strictly but has no double; this reads a double by the same rules.
double strictDouble(const std::string& text) {
    const char* const blanks = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(blanks);
    const auto last = text.find_last_not_of(blanks);
    const char* begin = text.data() + (first == std::string::npos ? text.size() : first);
    const char* const end = text.data() + (last == std::string::npos ? text.size() : last + 1);
    // from_chars takes no plus sign; one directly before the number is a fair way to write it.
    if (end - begin >= 2 && begin[0] == '+' && begin[1] != '-' && begin[1] != '+') {
        ++begin;
    }
    double value = 0.0;
    // from_chars does not consult the locale, so the text means the same in every process.
    const auto parsed = std::from_chars(begin, end, value);
    if (begin == end || parsed.ptr != end) {
        throw std::invalid_argument("\"" + text + "\" is not a double");
    }
    if (parsed.ec == std::errc::result_out_of_range) {
        throw std::out_of_range("\"" + text + "\" is out of the range of double");
    }
    if (parsed.ec != std::errc()) {
        throw std::invalid_argument("\"" + text + "\" is not a double");
    }
    return value;
}

}  // namespace

int parameterTypeStringAsPrimitiveTypeInt(const std::string& text) {
    int value = 0;
    return plainDecimal(text, value) ? value : KORCoreUtils::toInt(text);
}

unsigned int parameterTypeStringAsPrimitiveTypeUnsignedInt(const std::string& text) {
    unsigned int value = 0;
    return plainDecimal(text, value) ? value : KORCoreUtils::toUnsignedInt(text);
}

float parameterTypeStringAsPrimitiveTypeFloat(const std::string& text) {
    return KORCoreUtils::toFloat(text);
}

bool parameterTypeStringAsPrimitiveTypeBool(const std::string& text) {
    return KORCoreUtils::toBool(text);
}

long parameterTypeStringAsPrimitiveTypeLong(const std::string& text) {
    long value = 0;
    return plainDecimal(text, value) ? value : KORCoreUtils::toLong(text);
}

char parameterTypeStringAsPrimitiveTypeChar(const std::string& text) {
    return text.empty() ? '\0' : text[0];
}

std::string parameterTypeStringAsPrimitiveTypeString(const std::string& text) {
    return text;
}

std::wstring parameterTypeStringAsPrimitiveTypeWString(const std::string& text) {
    return KORCoreUtils::toWideString(text);
}

zam::SecureString parameterTypeStringAsPrimitiveTypeSecureString(const std::string& text) {
    return zam::SecureString(text);
}

long long parameterTypeStringAsPrimitiveTypeLongLong(const std::string& text) {
    long long value = 0;
    return plainDecimal(text, value) ? value : KORCoreUtils::toLongLong(text);
}

double parameterTypeStringAsPrimitiveTypeDouble(const std::string& text) {
    return strictDouble(text);
}

std::shared_ptr<std::vector<int>> parameterTypeStringAsListOfPrimitiveTypeInt(
    const std::string& text) {
    return parameterTypeStringAsList<int>(text, kPrimitiveListSeparator,
                                          parameterTypeStringAsPrimitiveTypeInt);
}

std::shared_ptr<std::vector<unsigned int>> parameterTypeStringAsListOfPrimitiveTypeUnsignedInt(
    const std::string& text) {
    return parameterTypeStringAsList<unsigned int>(text, kPrimitiveListSeparator,
                                                   parameterTypeStringAsPrimitiveTypeUnsignedInt);
}

std::shared_ptr<std::vector<float>> parameterTypeStringAsListOfPrimitiveTypeFloat(
    const std::string& text) {
    return parameterTypeStringAsList<float>(text, kPrimitiveListSeparator,
                                            parameterTypeStringAsPrimitiveTypeFloat);
}

std::shared_ptr<std::vector<bool>> parameterTypeStringAsListOfPrimitiveTypeBool(
    const std::string& text) {
    return parameterTypeStringAsList<bool>(text, kPrimitiveListSeparator,
                                           parameterTypeStringAsPrimitiveTypeBool);
}

std::shared_ptr<std::vector<long>> parameterTypeStringAsListOfPrimitiveTypeLong(
    const std::string& text) {
    return parameterTypeStringAsList<long>(text, kPrimitiveListSeparator,
                                           parameterTypeStringAsPrimitiveTypeLong);
}

std::shared_ptr<std::vector<char>> parameterTypeStringAsListOfPrimitiveTypeChar(
    const std::string& text) {
    return parameterTypeStringAsList<char>(text, kPrimitiveListSeparator,
                                           parameterTypeStringAsPrimitiveTypeChar);
}

std::shared_ptr<std::vector<std::string>> parameterTypeStringAsListOfPrimitiveTypeString(
    const std::string& text) {
    return parameterTypeStringAsList<std::string>(text, kStringListSeparator,
                                                  parameterTypeStringAsPrimitiveTypeString);
}

std::shared_ptr<std::vector<std::wstring>> parameterTypeStringAsListOfPrimitiveTypeWString(
    const std::string& text) {
    return parameterTypeStringAsList<std::wstring>(text, kStringListSeparator,
                                                   parameterTypeStringAsPrimitiveTypeWString);
}

std::shared_ptr<std::vector<zam::SecureString>>
parameterTypeStringAsListOfPrimitiveTypeSecureString(const std::string& text) {
    // The pieces of parameterTypeStringAsList, but no plain copy of a secret is freed unwiped:
    // the text is not copied whole, the pieces' vector never grows (growing would free a buffer
    // holding short pieces), and every piece is zeroed once converted, also on failure.
    std::vector<std::string> pieces;
    std::string::size_type separators = 0;
    for (auto at = text.find(kStringListSeparator); at != std::string::npos;
         at = text.find(kStringListSeparator, at + 1)) {
        ++separators;
    }
    pieces.reserve(separators + 1);
    KORCoreUtils::split(text, pieces, kStringListSeparator);
    auto wipe = [&pieces] {
        for (std::string& piece : pieces) {
            zam::SecureStringUtils::ZAMZeroString(piece);
        }
    };
    try {
        auto list = std::make_shared<std::vector<zam::SecureString>>();
        list->reserve(pieces.size());
        for (const std::string& piece : pieces) {
            list->push_back(parameterTypeStringAsPrimitiveTypeSecureString(piece));
        }
        wipe();
        return list;
    } catch (...) {
        wipe();
        throw;
    }
}

std::shared_ptr<std::vector<long long>> parameterTypeStringAsListOfPrimitiveTypeLongLong(
    const std::string& text) {
    return parameterTypeStringAsList<long long>(text, kPrimitiveListSeparator,
                                                parameterTypeStringAsPrimitiveTypeLongLong);
}

std::shared_ptr<std::vector<double>> parameterTypeStringAsListOfPrimitiveTypeDouble(
    const std::string& text) {
    return parameterTypeStringAsList<double>(text, kPrimitiveListSeparator,
                                             parameterTypeStringAsPrimitiveTypeDouble);
}

}  // namespace FromStringConversions

namespace ReturnTypeToStringConversions {

std::string GetReturnValueAsString(std::shared_ptr<ReturnValue> value) {
    // Every way out returns this one string, which is built in the caller's place.
    std::string text;
    if (!value) {
        text = "GetReturnValueAsString received a NULL pointer to a ReturnValue.";
        return text;
    }
    // The caller holds the value, so the type tests need no pointers of their own. The helpers'
    // own results are recognised first by their exact type, then any typed result in the order of
    // the value types.
    const ReturnValue& result = *value;
    const std::type_info& type = typeid(result);
    const ValueTypeTable types = valueTypes();
    for (const ValueType& valueType : types) {
        if (valueType.helperResultText(type, result, text)) {
            return text;
        }
    }
    for (const ValueType& valueType : types) {
        if (valueType.resultText(result, text)) {
            return text;
        }
    }
    text = value->getValueAsString();
    // An empty list is a value like any other, whose text is empty; only a result of another
    // kind without text failed to convert.
    if (text.empty() && !value->isList()) {
        text = "Failed to convert the ReturnValue to a string successfully, for ReturnType \"" +
               value->getReturnType() + "\".";
    }
    return text;
}

}  // namespace ReturnTypeToStringConversions

}  // namespace ReflectionTypeConversion
}  // namespace ZAMUnified
