#include <ZAMUnified/TextResult.h>

#include <ZAMUnified/HelperReturnValues.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/ValueTypes.h>

#include <KORCoreUtils.h>

#include <utility>

namespace ZAMUnified {

const char* const kMaskedSecretText = "********";

namespace {

TextValue scalar(ValueKind kind, std::string text, bool reveal) {
    TextValue value;
    switch (kind) {
        case ValueKind::Number:
            value.kind = TextValue::Kind::Number;
            break;
        case ValueKind::Boolean:
            value.kind = TextValue::Kind::Boolean;
            break;
        case ValueKind::String:
            value.kind = TextValue::Kind::String;
            break;
        case ValueKind::Secret:
            value.kind = TextValue::Kind::Secret;
            value.masked = !reveal;
            break;
    }
    value.text = value.masked ? std::string() : std::move(text);
    return value;
}

TextValue listValue(ReturnValue& result, const std::string& text, bool reveal) {
    TextValue value;
    value.kind = TextValue::Kind::List;
    const ValueType* type = findListValueType(result.getReturnType());
    if (!type) {
        // A list of objects, enums or structs made by service code: its text is all there is.
        value.kind = TextValue::Kind::String;
        value.text = text;
        return value;
    }
    std::vector<std::string> texts;
    if (!type->listElementTexts(result, texts)) {
        // A list result of service code's own class: its elements are the pieces of its text.
        KORCoreUtils::split(text, texts, std::string(type->listSeparator));
    }
    for (std::string& element : texts) {
        value.elements.push_back(scalar(type->kind, std::move(element), reveal));
    }
    return value;
}

}  // namespace

TextResult presentValue(const std::shared_ptr<ReturnValue>& value, bool revealSecrets) {
    TextResult result;
    result.ok = true;
    result.returnValue = value;
    if (!value) {
        return result;
    }
    result.type = value->getReturnType();
    if (result.type == "void") {
        return result;
    }
    // The helpers' object results are typed "object"; the name spares the cast for the others.
    const auto* object =
        result.type == "object" ? dynamic_cast<const ObjectReturnValue*>(value.get()) : nullptr;
    if (object) {
        result.text =
            ReflectionTypeConversion::ReturnTypeToStringConversions::GetReturnValueAsString(value);
        result.value.kind = TextValue::Kind::Object;
        if (const auto& target = object->getObject()) {
            result.value.interfaceName = target->getInterfaceName();
            result.value.guid = target->getGuid();
        }
        return result;
    }
    if (!revealSecrets && isSecretTypeName(result.type)) {
        // Not even decrypted: a masked secret, alone or a list, shows as one marker.
        result.text = kMaskedSecretText;
        result.value.kind = TextValue::Kind::Secret;
        result.value.masked = true;
        return result;
    }
    const std::string text =
        ReflectionTypeConversion::ReturnTypeToStringConversions::GetReturnValueAsString(value);
    result.text = text;
    if (value->isList()) {
        result.value = listValue(*value, text, revealSecrets);
    } else if (const ValueType* type = findValueType(result.type)) {
        result.value = scalar(type->kind, text, revealSecrets);
    } else {
        result.value = scalar(ValueKind::String, text, revealSecrets);
    }
    return result;
}

TextResult failedResult(std::string error, std::string why, TextResult::Failure failure) {
    TextResult result;
    result.failure = failure;
    result.error = std::move(error);
    result.why = std::move(why);
    return result;
}

}  // namespace ZAMUnified
