#include <ZAMUnified/ToFormalParameterConversions.h>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ValueTypes.h>
#include <zam/SecureStringUtils.h>

#include <string_view>
#include <utility>
#include <vector>

namespace ZAMUnified {
namespace ReflectionTypeConversion {
namespace ToFormalParameterConversions {

namespace {

// Type names are compared as views, which compare their lengths before any characters.
using namespace std::string_view_literals;

// Rule 1: the scalar types. Empty when `typeName` is none of them.
std::shared_ptr<FormalParameter> scalarParameter(const std::string& typeName,
                                                 const std::string& parameterName,
                                                 const std::string& valueText) {
    const ValueType* type = findValueType(typeName);
    return type ? type->makeArgument(typeName, parameterName, valueText) : nullptr;
}

// Rule 7: lists of the scalar types. Empty when `typeName` is none of them.
std::shared_ptr<FormalParameter> primitiveListParameter(const std::string& typeName,
                                                        const std::string& parameterName,
                                                        const std::string& valueText) {
    const ValueType* type = findListValueType(typeName);
    return type ? type->makeListArgument(typeName, parameterName, valueText) : nullptr;
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
    const std::string_view type = typeName;
    if (std::shared_ptr<FormalParameter> scalar =
            scalarParameter(typeName, parameterName, valueText)) {
        return scalar;
    }
    // Plug-in factories take the text by value, and would free plain copies of the secrets
    // unwiped: a list of secure strings, a built-in type, goes straight to its own rule.
    if (isSecretTypeName(type)) {
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
    if (type == "object"sv) {
        return namedObjectParameter(objects, valueText, ReflectorFactory::GetReflector);
    }
    if (type == "null"sv) {
        // The value text names the interface of the absent object.
        return ActualParameterFactory::GetActualParameterForNullUnifiedBusinessObject(valueText);
    }
    if (type == "callback"sv) {
        return namedObjectParameter(callbacks, valueText,
                                    ReflectorFactory::GetReflectorForCallback);
    }
    if (std::shared_ptr<FormalParameter> list =
            primitiveListParameter(typeName, parameterName, valueText)) {
        return list;
    }
    const std::string_view listPrefix = "list("sv;
    if (type.substr(0, listPrefix.size()) != listPrefix) {
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
    } wipe{valueText, isSecretTypeName(typeName)};
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
