// ZAMUnified::ListProperty: a property holding a list; its subscribers hear of changes with a
// flag and two integers whose meaning the implementing service library defines.
//
// Threading: notifications arrive on the thread that changes the list.
// Failure: as the implementation decides; the framework forwards the connection unchanged.
#ifndef ZAMUNIFIED_LISTPROPERTY_H
#define ZAMUNIFIED_LISTPROPERTY_H

#include <functional>
#include <memory>
#include <string>

#include <ZAMUnified/Property.h>
#include <ZAMUnified/PropertyNotifier.h>

namespace ZAMUnified {

class ListProperty : public Property {
  public:
    ListProperty(const std::string& type, const std::string& propertyName, const bool& readOnly,
                 const bool& primitive);
    ~ListProperty() override;

    bool isList() override;
    virtual std::weak_ptr<PropertyNotifierConnection> subscribe(
        std::function<void(bool, int, int)> callback) = 0;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_LISTPROPERTY_H
