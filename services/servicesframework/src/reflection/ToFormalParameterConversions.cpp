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

// `scalar` and `list` are the value types that `typeName` names alone or as a list, if any.
std::shared_ptr<FormalParameter> convert(const std::string& typeName,
                                         const std::string& parameterName,
                                         const std::string& valueText, const ValueType* scalar,
                                         const ValueType* list,
                                         const std::shared_ptr<UnifiedBusinessObjectMap>& objects,
                                         const std::shared_ptr<UnifiedCallbackMap>& callbacks) {
    const std::string_view type = typeName;
    // Rule 1: the scalar types.
    if (scalar) {
        return scalar->makeArgument(typeName, parameterName, valueText);
    }
    // Plug-in factories take the text by value, and would free plain copies of the secrets
    // unwiped: a list of secure strings, a built-in type, goes straight to its own rule.
    if (list && list->kind == ValueKind::Secret) {
        return list->makeListArgument(typeName, parameterName, valueText);
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
    // Rule 7: lists of the scalar types.
    if (list) {
        return list->makeListArgument(typeName, parameterName, valueText);
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
    } wipe{valueText, false};
    // One look-up serves the secret check and the conversion.
    const ValueType* scalar = findValueType(typeName);
    const ValueType* list = scalar ? nullptr : findListValueType(typeName);
    const ValueType* named = scalar ? scalar : list;
    wipe.secret = named && named->kind == ValueKind::Secret;
    // Text the platform parsers reject, a throwing factory function or a failed allocation all
    // mean the same to a text front end: no argument.
    try {
        // Rule 1 is by far the most common, and needs none of the other rules' set-up.
        if (scalar) {
            return scalar->makeArgument(typeName, parameterName, valueText);
        }
        return convert(typeName, parameterName, valueText, scalar, list, objects, callbacks);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace ToFormalParameterConversions
}  // namespace ReflectionTypeConversion
}  // namespace ZAMUnified
