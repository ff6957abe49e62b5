// ZAMUnified::PropertyNotifier and PropertyNotifierConnection: implemented by service libraries.
// A notifier calls every connected function when its property changes; the connection it hands
// back stands for one such registration, and its holder ends it with disconnect().
//
// Threading: the notifier calls the functions on the thread that changes the property.
// Failure: as the implementation decides; the framework only passes the connection on.
#ifndef ZAMUNIFIED_PROPERTYNOTIFIER_H
#define ZAMUNIFIED_PROPERTYNOTIFIER_H

#include <functional>
#include <memory>

namespace ZAMUnified {

class PropertyNotifierConnection {
  public:
    virtual ~PropertyNotifierConnection();
    // After this the connected function is not called again.
    virtual void disconnect() = 0;
};

class PropertyNotifier {
  public:
    // Declared first on purpose: connect() is the first entry of the notifier's table of
    // virtual functions, ahead of the destructor.
    virtual std::weak_ptr<PropertyNotifierConnection> connect(std::function<void()> callback) = 0;
    virtual ~PropertyNotifier();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_PROPERTYNOTIFIER_H
