// ZAMUnified::Subscription: a Request whose path ends in a property, with the client's label for
// it and one callback per property kind; Interpreter::subscribe connects the callback that fits.
// Every callback receives the label and a fetcher that reads the property's current value when
// called, then (for lists) the change details the property implementation reports, unchanged.
// Threading: no lock; set it up on one thread. Callbacks run on the property's notifying thread.
// Failure: reported by Interpreter::subscribe as InterpreterResult messages.
#ifndef ZAMUNIFIED_SUBSCRIPTION_H
#define ZAMUNIFIED_SUBSCRIPTION_H

#include <functional>
#include <memory>
#include <string>

#include <ZAMUnified/Request.h>
#include <ZAMUnified/ReturnValue.h>

namespace ZAMUnified {

// Reads the property's value each time it is called.
using PropertyValueFetcher = std::function<std::shared_ptr<ReturnValue>()>;
using NonListPropertyCallback = std::function<void(std::string, PropertyValueFetcher)>;
using BasicListPropertyCallback =
    std::function<void(std::string, PropertyValueFetcher, bool, int, int)>;
using ObjectListPropertyCallback =
    std::function<void(std::string, PropertyValueFetcher, bool, int, int)>;
using MutableObjectListPropertyCallback =
    std::function<void(std::string, PropertyValueFetcher, bool, int, int, int)>;

class Subscription : public Request {
  public:
    // All callbacks start empty.
    Subscription(std::string executionPath, std::string friendlyIdentifier);
    Subscription(std::string executionPath, std::string friendlyIdentifier,
                 NonListPropertyCallback nonList, BasicListPropertyCallback basicList,
                 ObjectListPropertyCallback objectList,
                 MutableObjectListPropertyCallback mutableObjectList);

    const std::string& getFriendlyIdentifier() const { return friendlyIdentifier; }

    // Getters return copies. A connection keeps the callback it was made with, so setting one
    // afterwards affects only later subscriptions.
    NonListPropertyCallback getNonListPropertyCallback() const;
    void setNonListPropertyCallback(NonListPropertyCallback callback);
    BasicListPropertyCallback getBasicListPropertyCallback() const;
    void setBasicListPropertyCallback(BasicListPropertyCallback callback);
    // Carried for the client; the Interpreter never connects it.
    ObjectListPropertyCallback getObjectListPropertyCallback() const;
    void setObjectListPropertyCallback(ObjectListPropertyCallback callback);
    MutableObjectListPropertyCallback getMutableObjectListPropertyCallback() const;
    void setMutableObjectListPropertyCallback(MutableObjectListPropertyCallback callback);

  private:
    std::string friendlyIdentifier;
    NonListPropertyCallback nonListPropertyCallback;
    BasicListPropertyCallback basicListPropertyCallback;
    ObjectListPropertyCallback objectListPropertyCallback;
    MutableObjectListPropertyCallback mutableObjectListPropertyCallback;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SUBSCRIPTION_H
