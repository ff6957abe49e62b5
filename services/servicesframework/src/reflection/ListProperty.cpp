#include <ZAMUnified/ListProperty.h>

namespace ZAMUnified {

ListProperty::ListProperty(const std::string& valueType, const std::string& name,
                           const bool& isReadOnly, const bool& isPrimitiveValue)
    : Property(valueType, name, isReadOnly, isPrimitiveValue) {}

ListProperty::~ListProperty() = default;

bool ListProperty::isList() {
    return true;
}

}  // namespace ZAMUnified
