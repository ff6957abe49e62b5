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
template class TypedReturnValue<int>;
template class TypedReturnValue<unsigned int>;
template class TypedReturnValue<float>;
template class TypedReturnValue<bool>;
template class TypedReturnValue<long>;
template class TypedReturnValue<char>;
template class TypedReturnValue<std::string>;
template class TypedReturnValue<std::wstring>;
template class TypedReturnValue<zam::SecureString>;
template class TypedReturnValue<long long>;

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
