#include <ZAMUnified/ToFormalParameterConversions.h>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <zam/SecureStringUtils.h>

#include <utility>
#include <vector>

namespace ZAMUnified {
namespace ReflectionTypeConversion {
namespace ToFormalParameterConversions {

namespace {

using namespace FromStringConversions;

template <typename T>
std::shared_ptr<FormalParameter> makeParameter(const std::string& typeName,
                                               const std::string& parameterName, T value) {
    return std::make_shared<ActualParameter<T>>(typeName, parameterName, std::move(value));
}

// Rule 1: the scalar types. Empty when `typeName` is none of them.
std::shared_ptr<FormalParameter> scalarParameter(const std::string& typeName,
                                                 const std::string& parameterName,
                                                 const std::string& valueText) {
    if (typeName == "int") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeInt(valueText));
    }
    if (typeName == "unsigned int") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeUnsignedInt(valueText));
    }
    if (typeName == "float") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeFloat(valueText));
    }
    if (typeName == "bool") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeBool(valueText));
    }
    if (typeName == "long") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeLong(valueText));
    }
    if (typeName == "char") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeChar(valueText));
    }
    if (typeName == "std::string" || typeName == "string") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeString(valueText));
    }
    if (typeName == "std::wstring" || typeName == "wstring") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeWString(valueText));
    }
    if (typeName == "zam::SecureString" || typeName == "securestring") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeSecureString(valueText));
    }
    if (typeName == "long long") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsPrimitiveTypeLongLong(valueText));
    }
    return nullptr;
}

// Rule 7: lists of the scalar types. Empty when `typeName` is none of them.
std::shared_ptr<FormalParameter> primitiveListParameter(const std::string& typeName,
                                                        const std::string& parameterName,
                                                        const std::string& valueText) {
    if (typeName == "list(int)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeInt(valueText));
    }
    if (typeName == "list(unsigned int)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeUnsignedInt(valueText));
    }
    if (typeName == "list(float)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeFloat(valueText));
    }
    if (typeName == "list(bool)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeBool(valueText));
    }
    if (typeName == "list(long)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeLong(valueText));
    }
    if (typeName == "list(char)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeChar(valueText));
    }
    if (typeName == "list(std::string)" || typeName == "list(string)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeString(valueText));
    }
    if (typeName == "list(std::wstring)" || typeName == "list(wstring)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeWString(valueText));
    }
    if (typeName == "list(zam::SecureString)" || typeName == "list(securestring)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeSecureString(valueText));
    }
    if (typeName == "list(long long)") {
        return makeParameter(typeName, parameterName,
                             parameterTypeStringAsListOfPrimitiveTypeLongLong(valueText));
    }
    return nullptr;
}

// Rules 4 and 6: the object named by `key`, as its reflector presents it. An entry that holds an
// empty pointer names nothing.
template <typename Object, typename GetReflector>
std::shared_ptr<FormalParameter> namedObjectParameter(
    const std::shared_ptr<std::map<std::string, std::shared_ptr<Object>>>& map,
    const std::string& key, GetReflector getReflector) {
    if (!map) {
        return nullptr;
    }
    auto found = map->find(key);
    if (found == map->end() || !found->second) {
        return nullptr;
    }
    std::shared_ptr<Reflector> reflector = getReflector(found->second);
    return reflector ? reflector->getActualParameter() : nullptr;
}

std::shared_ptr<FormalParameter> convert(const std::string& typeName,
                                         const std::string& parameterName,
                                         const std::string& valueText,
                                         const std::shared_ptr<UnifiedBusinessObjectMap>& objects,
                                         const std::shared_ptr<UnifiedCallbackMap>& callbacks) {
    if (std::shared_ptr<FormalParameter> scalar =
            scalarParameter(typeName, parameterName, valueText)) {
        return scalar;
    }
    // Plug-in factories take the text by value, and would free plain copies of the secrets
    // unwiped: a list of secure strings, a built-in type, goes straight to its own rule.
    if (typeName == "list(securestring)" || typeName == "list(zam::SecureString)") {
        return primitiveListParameter(typeName, parameterName, valueText);
    }
    if (std::shared_ptr<FormalParameter> enumValue =
            ActualParameterFactory::GetActualParameterForEnum(typeName, valueText)) {
        return enumValue;
    }
    if (std::shared_ptr<FormalParameter> structValue =
            ActualParameterFactory::GetActualParameterForStruct(typeName, valueText)) {
        return structValue;
    }
    if (typeName == "object") {
        return namedObjectParameter(objects, valueText, ReflectorFactory::GetReflector);
    }
    if (typeName == "null") {
        // The value text names the interface of the absent object.
        return ActualParameterFactory::GetActualParameterForNullUnifiedBusinessObject(valueText);
    }
    if (typeName == "callback") {
        return namedObjectParameter(callbacks, valueText,
                                    ReflectorFactory::GetReflectorForCallback);
    }
    if (std::shared_ptr<FormalParameter> list =
            primitiveListParameter(typeName, parameterName, valueText)) {
        return list;
    }
    const std::string listPrefix = "list(";
    if (typeName.compare(0, listPrefix.size(), listPrefix) != 0) {
        return nullptr;
    }
    // "list(" + element + ")": the closing character is dropped whatever it is; "list(" alone
    // names the empty element type.
    const std::string elementType =
        typeName.size() > listPrefix.size()
            ? typeName.substr(listPrefix.size(), typeName.size() - listPrefix.size() - 1)
            : std::string();
    std::shared_ptr<FormalParameter> result;
    if (objects) {
        result = ActualParameterFactory::GetActualParameterForListOfUnifiedBusinessObject(
            elementType, valueText, objects);
    }
    if (!result && callbacks) {
        result = ActualParameterFactory::GetActualParameterForListOfCallback(elementType, valueText,
                                                                             callbacks);
    }
    if (!result) {
        result = ActualParameterFactory::GetActualParameterForListOfEnum(elementType, valueText);
    }
    if (!result) {
        result = ActualParameterFactory::GetActualParameterForListOfStruct(elementType, valueText);
    }
    return result;
}

}  // namespace

std::shared_ptr<FormalParameter> GetFormalParameterFromStrings(
    std::string typeName, std::string parameterName, std::string valueText,
    std::shared_ptr<UnifiedBusinessObjectMap> objects,
    std::shared_ptr<UnifiedCallbackMap> callbacks) {
    // The value text of a secure string is a secret in plain text, and this copy is ours: it is
    // wiped before it is freed, whatever the conversion gives.
    struct SecretWipe {
        std::string& text;
        bool secret;
        ~SecretWipe() {
            if (secret) {
                zam::SecureStringUtils::ZAMZeroString(text);
            }
        }
    } wipe{valueText, typeName == "securestring" || typeName == "zam::SecureString" ||
                          typeName == "list(securestring)" ||
                          typeName == "list(zam::SecureString)"};
    // Text the platform parsers reject, a throwing factory function or a failed allocation all
    // mean the same to a text front end: no argument.
    try {
        return convert(typeName, parameterName, valueText, objects, callbacks);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace ToFormalParameterConversions
}  // namespace ReflectionTypeConversion
}  // namespace ZAMUnified
