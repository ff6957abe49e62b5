// ZAMUnified::MutableListProperty: a property holding a list whose elements change in place; its
// subscribers hear of changes with a flag and three integers that the implementation defines.
// It is no ListProperty and answers false from isList(); tell the kinds apart by dynamic type.
//
// Threading: notifications arrive on the thread that changes the list.
// Failure: as the implementation decides; the framework forwards the connection unchanged.
#ifndef ZAMUNIFIED_MUTABLELISTPROPERTY_H
#define ZAMUNIFIED_MUTABLELISTPROPERTY_H

#include <functional>
#include <memory>
#include <string>

#include <ZAMUnified/Property.h>
#include <ZAMUnified/PropertyNotifier.h>

namespace ZAMUnified {

class MutableListProperty : public Property {
  public:
    MutableListProperty(const std::string& type, const std::string& propertyName,
                        const bool& readOnly, const bool& primitive);
    ~MutableListProperty() override;

    virtual std::weak_ptr<PropertyNotifierConnection> subscribe(
        std::function<void(bool, int, int, int)> callback) = 0;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_MUTABLELISTPROPERTY_H
