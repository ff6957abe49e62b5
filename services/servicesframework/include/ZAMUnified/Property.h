// ZAMUnified::Property: a named, typed value of a reflected object that the interpreter reads and
// writes by text. Service libraries derive from one of its three kinds (NonListProperty,
// ListProperty, MutableListProperty), which differ in how changes are subscribed to.
//
// Threading: getValue() and setValue() follow the owning service's rules. Failure: an argument
// list that does not fit is refused by matchesParameters(); read-only is enforced there too.
#ifndef ZAMUNIFIED_PROPERTY_H
#define ZAMUNIFIED_PROPERTY_H

#include <memory>
#include <string>

namespace ZAMUnified {

class ParametersCollection;
class ReturnValue;
class VoidReturnValue;

class Property {
  public:
    Property(const std::string& type, const std::string& propertyName, const bool& readOnly,
             const bool& primitive);
    virtual ~Property();

    virtual bool isList();
    virtual bool isPrimitive();
    virtual std::shared_ptr<ReturnValue> getValue() = 0;
    // True when `parameters` (possibly empty) is an acceptable value for setValue(); by
    // convention exactly one parameter of the property's type. The framework never consults
    // isReadOnly(), so a read-only property refuses here.
    virtual bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) = 0;
    virtual std::shared_ptr<VoidReturnValue> setValue(
        std::shared_ptr<ParametersCollection> parameters) = 0;

    // Descriptive only.
    bool isReadOnly() const { return readOnly; }
    const std::string& getType() const { return type; }
    const std::string& getPropertyName() const { return propertyName; }

  protected:
    std::string type;
    std::string propertyName;
    bool readOnly;
    bool primitive;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_PROPERTY_H
