#include <ZAMUnified/Property.h>

namespace ZAMUnified {

Property::Property(const std::string& valueType, const std::string& name, const bool& isReadOnly,
                   const bool& isPrimitiveValue)
    : type(valueType), propertyName(name), readOnly(isReadOnly), primitive(isPrimitiveValue) {}

Property::~Property() = default;

bool Property::isList() {
    return false;
}

bool Property::isPrimitive() {
    return primitive;
}

}  // namespace ZAMUnified
