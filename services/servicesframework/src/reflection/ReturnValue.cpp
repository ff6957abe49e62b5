#include <ZAMUnified/ReturnValue.h>

namespace ZAMUnified {

ReturnValue::ReturnValue(const std::string& type) : returnType(type) {}

ReturnValue::~ReturnValue() = default;

NonListReturnValue::NonListReturnValue(const std::string& type) : ReturnValue(type) {}

NonListReturnValue::~NonListReturnValue() = default;

bool NonListReturnValue::isList() {
    return false;
}

// Built here once, like ActualParameter, so that the casts in the text conversions recognise
// results that plug-ins create.
#define ZAMUNIFIED_TYPED_RETURN_VALUE(type, name, alias, kind, separator, suffix) \
    template class TypedReturnValue<type>;
ZAMUNIFIED_VALUE_TYPES(ZAMUNIFIED_TYPED_RETURN_VALUE)
#undef ZAMUNIFIED_TYPED_RETURN_VALUE

VoidReturnValue::VoidReturnValue() : ReturnValue("void") {}

VoidReturnValue::~VoidReturnValue() = default;

bool VoidReturnValue::isList() {
    return false;
}

std::string VoidReturnValue::getReturnType() {
    return returnType;
}

std::string VoidReturnValue::getValueAsString() {
    return "";
}

std::shared_ptr<Reflector> VoidReturnValue::getReflector() {
    return nullptr;
}

}  // namespace ZAMUnified
