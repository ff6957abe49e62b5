// ZAMUnified::NonListProperty: a property holding one value, whose changes are announced by a
// PropertyNotifier that the service library supplies.
//
// Threading: subscribe() may run on any thread the notifier allows; notifications arrive on the
// thread that changes the value. Failure: subscribe() gives an empty connection when there is no
// notifier; an empty callback is connected but never called.
#ifndef ZAMUNIFIED_NONLISTPROPERTY_H
#define ZAMUNIFIED_NONLISTPROPERTY_H

#include <functional>
#include <memory>
#include <string>

#include <ZAMUnified/Property.h>
#include <ZAMUnified/PropertyNotifier.h>

namespace ZAMUnified {

class NonListProperty : public Property {
  public:
    NonListProperty(const std::string& type, const std::string& propertyName, const bool& readOnly,
                    const bool& primitive, std::shared_ptr<PropertyNotifier> notifier);
    // Pure (with a body) so that only a service's own property kinds are made.
    ~NonListProperty() override = 0;

    // Connects `callback` to the notifier and returns the notifier's connection unchanged.
    std::weak_ptr<PropertyNotifierConnection> subscribe(std::function<void()> callback);

  protected:
    std::shared_ptr<PropertyNotifier> notifier;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_NONLISTPROPERTY_H
