#include <ZAMUnified/MutableListProperty.h>

namespace ZAMUnified {

MutableListProperty::MutableListProperty(const std::string& valueType, const std::string& name,
                                         const bool& isReadOnly, const bool& isPrimitiveValue)
    : Property(valueType, name, isReadOnly, isPrimitiveValue) {}

MutableListProperty::~MutableListProperty() = default;

}  // namespace ZAMUnified
