#include <ZAMUnified/NonListProperty.h>

#include <utility>

namespace ZAMUnified {

NonListProperty::NonListProperty(const std::string& valueType, const std::string& name,
                                 const bool& isReadOnly, const bool& isPrimitiveValue,
                                 std::shared_ptr<PropertyNotifier> propertyNotifier)
    : Property(valueType, name, isReadOnly, isPrimitiveValue),
      notifier(std::move(propertyNotifier)) {}

NonListProperty::~NonListProperty() = default;

std::weak_ptr<PropertyNotifierConnection> NonListProperty::subscribe(
    std::function<void()> callback) {
    // A property without a notifier never changes observably; there is nothing to connect to.
    if (!notifier) {
        return std::weak_ptr<PropertyNotifierConnection>();
    }
    // The notifier runs this on the thread that changes the value; an empty callback must not
    // throw there.
    return notifier->connect([callback]() {
        if (callback) {
            callback();
        }
    });
}

}  // namespace ZAMUnified
