// ZAMUnified::Interpreter: drives services by text. It runs a Request's chain of property and
// method steps through the services' reflectors, starting at a service by name or at a business
// object by GUID, and connects Subscriptions to the property a path ends in.
// Threading: no lock; every step runs synchronously inside service code on the calling thread, so
// a host whose services accept calls only on the dispatcher thread calls it there.
// Failure: recognised failures are InterpreterResults with fixed English messages; exceptions from
// service code and reflector factories pass through unchanged.
#ifndef ZAMUNIFIED_INTERPRETER_H
#define ZAMUNIFIED_INTERPRETER_H

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <ZAMUnified/InterpreterResult.h>
#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/Property.h>
#include <ZAMUnified/PropertyNotifier.h>
#include <ZAMUnified/ReflectionCallback.h>
#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/Request.h>
#include <ZAMUnified/ReturnValue.h>
#include <ZAMUnified/Subscription.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/UnifiedService.h>

namespace ZAMUnified {

using ReflectorMap = std::map<std::string, std::shared_ptr<Reflector>>;
using UnifiedServiceMap = std::map<std::string, std::shared_ptr<UnifiedService>>;
using UnifiedBusinessObjectMap = std::map<std::string, std::shared_ptr<UnifiedBusinessObject>>;
using ExecutionResult = InterpreterResult<std::shared_ptr<ReturnValue>>;
using UnifiedBusinessObjectResult = InterpreterResult<std::shared_ptr<UnifiedBusinessObject>>;
using SubscriptionResult = InterpreterResult<std::weak_ptr<PropertyNotifierConnection>>;

class Interpreter {
  public:
    // Shares the caller's map (later changes by its owner are seen). An empty map pointer counts
    // as a map without services.
    explicit Interpreter(std::shared_ptr<ReflectorMap> reflectors);
    // Asks ReflectorFactory once per service, in name order, and keeps every answer, empty ones
    // included (such a service is listed but cannot be run).
    explicit Interpreter(std::shared_ptr<UnifiedServiceMap> services);

    // Ascending, including services without a reflector.
    std::vector<std::string> getSupportedServiceNames() const;
    // The GUID-to-object map for paths starting at "UnifiedBusinessObject"; shared, not copied.
    void setUnifiedBusinessObjectMap(std::shared_ptr<UnifiedBusinessObjectMap> objects);

    // Consumes the request's names (a request runs once). Succeeds with the last step's value,
    // which may be empty; an empty request fails with "Cannot execute an empty Request."
    std::shared_ptr<ExecutionResult> execute(std::shared_ptr<Request> request) const;
    // One step: reads or writes the property the name addresses (decided by the arguments, never
    // by a get/set prefix), otherwise calls the first method overload that accepts them.
    std::shared_ptr<ExecutionResult> executeMethod(
        std::shared_ptr<Reflector> reflector, std::string name,
        std::shared_ptr<ParametersCollection> parameters) const;

    // Exact, case-sensitive; empty for an unknown name.
    std::shared_ptr<Reflector> findScriptableRefectorForServiceName(std::string name) const;
    // Asks ReflectorFactory anew on every call; empty for an empty object.
    std::shared_ptr<Reflector> findScriptableRefectorByUnifiedBusinessObject(
        std::shared_ptr<UnifiedBusinessObject> object) const;
    // The object whose GUID is the one string parameter of `parameters`.
    std::shared_ptr<UnifiedBusinessObjectResult> findUnifiedBusinessObjectByGuid(
        std::shared_ptr<ParametersCollection> parameters) const;

    // Walks the path like execute() (but never starts by GUID) to the property its last name
    // addresses and connects the callback for that property's kind; an empty subscription fails
    // with "Cannot subscribe an empty Subscription.". The connection keeps the property alive
    // until the property implementation drops it.
    std::shared_ptr<SubscriptionResult> subscribe(std::shared_ptr<Subscription> subscription) const;
    // Refuses a subscription whose callback for the property's kind is empty, rather than
    // connecting a function that would throw on the notifying thread.
    std::shared_ptr<SubscriptionResult> subscribeToPropertyUsingCorrectCallback(
        std::shared_ptr<Subscription> subscription, std::shared_ptr<Property> property) const;
    // ReflectionCallbackFactory's answer for `name`; empty for an unregistered name.
    std::shared_ptr<ReflectionCallback> createReflectionCallback(std::string name) const;

  private:
    // executeMethod() on names and arguments that the request holds, copying neither. The
    // reflector must be alive when the step starts; the step does not need it to stay so.
    static std::shared_ptr<ExecutionResult> runStep(
        const Reflector* reflector, std::string_view name,
        const std::shared_ptr<ParametersCollection>& parameters);

    std::shared_ptr<ReflectorMap> reflectors;
    // Empty until setUnifiedBusinessObjectMap().
    std::shared_ptr<UnifiedBusinessObjectMap> unifiedBusinessObjects;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_INTERPRETER_H
