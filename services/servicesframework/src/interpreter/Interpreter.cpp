#include <ZAMUnified/Interpreter.h>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/MutableListProperty.h>
#include <ZAMUnified/NonListProperty.h>
#include <ZAMUnified/ReflectionCallbackFactory.h>
#include <ZAMUnified/ReflectorFactory.h>

#include "interpreter/detail/PropertyAddressing.h"

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace ZAMUnified {

using detail::findAddressedProperty;

namespace {

constexpr std::string_view kGuidStart = "UnifiedBusinessObject";

// The pieces joined, in one allocation.
std::string joined(std::initializer_list<std::string_view> pieces) {
    std::size_t length = 0;
    for (std::string_view piece : pieces) {
        length += piece.size();
    }
    std::string text;
    text.reserve(length);
    for (std::string_view piece : pieces) {
        text.append(piece.data(), piece.size());
    }
    return text;
}

std::shared_ptr<ExecutionResult> executionFailure(std::string message) {
    return std::make_shared<ExecutionResult>(nullptr, std::move(message));
}

std::shared_ptr<SubscriptionResult> subscriptionFailure(std::string message) {
    return std::make_shared<SubscriptionResult>(std::weak_ptr<PropertyNotifierConnection>(),
                                                std::move(message));
}

std::string noServiceMessage(std::string_view name) {
    return joined({"No Service called \"", name, "\" was found."});
}

std::string noValueMessage(std::string_view name) {
    return joined({"Method or Property \"", name,
                   "\n cannot be called, because the method that executed previously failed to "
                   "return a valid ReturnValue."});
}

std::string noReflectorMessage(std::string_view name) {
    return joined({"Cannot execute method or property \"", name,
                   "\", because the ReturnValue of the previous Method or Property has no "
                   "Reflector (is not an UnifiedBusinessObject)."});
}

}  // namespace

Interpreter::Interpreter(std::shared_ptr<ReflectorMap> reflectorMap)
    : reflectors(reflectorMap ? std::move(reflectorMap) : std::make_shared<ReflectorMap>()) {}

Interpreter::Interpreter(std::shared_ptr<UnifiedServiceMap> services)
    : reflectors(std::make_shared<ReflectorMap>()) {
    if (!services) {
        return;
    }
    for (const auto& entry : *services) {
        // An empty service has no interface name; the factory answers an empty reflector for it.
        (*reflectors)[entry.first] =
            ReflectorFactory::GetReflector(std::shared_ptr<UnifiedBusinessObject>(entry.second));
    }
}

std::vector<std::string> Interpreter::getSupportedServiceNames() const {
    std::vector<std::string> names;
    names.reserve(reflectors->size());
    for (const auto& entry : *reflectors) {
        names.push_back(entry.first);
    }
    return names;
}

void Interpreter::setUnifiedBusinessObjectMap(std::shared_ptr<UnifiedBusinessObjectMap> objects) {
    unifiedBusinessObjects = std::move(objects);
}

std::shared_ptr<ExecutionResult> Interpreter::execute(std::shared_ptr<Request> request) const {
    if (!request) {
        return executionFailure("Cannot execute an empty Request.");
    }
    // The names are views into the request's path, which the request keeps while this runs.
    Request& path = *request;
    const std::string_view start = path.takeNextMethod();
    // The reflectors that the interpreter itself is handed are held here; a service's reflector
    // is the map's, which suffices because a step reads it only before it calls the service.
    std::shared_ptr<Reflector> held;
    const Reflector* reflector = nullptr;
    if (start == kGuidStart) {
        auto found = findUnifiedBusinessObjectByGuid(path.findParameterCollection(start));
        if (!found->isSuccess()) {
            return executionFailure(found->getErrorMessage());
        }
        held = findScriptableRefectorByUnifiedBusinessObject(found->getResult());
        if (!held) {
            return executionFailure("No Reflector for given UnifiedBusinessObject was found.");
        }
        reflector = held.get();
    } else {
        auto found = reflectors->find(std::string(start));
        if (found == reflectors->end() || !found->second) {
            return executionFailure(noServiceMessage(start));
        }
        reflector = found->second.get();
    }

    std::string_view name = path.takeNextMethod();
    for (;;) {
        // A request made in code has no resolver: its arguments are all attached.
        auto result = runStep(reflector, name,
                              path.argumentResolver ? path.argumentsForStep(name, reflector)
                                                    : path.findParameterCollection(name));
        if (!result->isSuccess()) {
            return result;
        }
        name = path.takeNextMethod();
        // An exhausted path and an empty element both end the chain with the last value.
        if (name.empty()) {
            return result;
        }
        const std::shared_ptr<ReturnValue> value = result->getResult();
        if (!value) {
            return executionFailure(noValueMessage(name));
        }
        held = value->getReflector();
        reflector = held.get();
    }
}

std::shared_ptr<ExecutionResult> Interpreter::executeMethod(
    std::shared_ptr<Reflector> reflector, std::string name,
    std::shared_ptr<ParametersCollection> parameters) const {
    return runStep(reflector.get(), name, parameters);
}

// Takes from the reflector what it needs, and holds it, before the first call into service code,
// and does not look at the reflector after that: the service may drop it.
std::shared_ptr<ExecutionResult> Interpreter::runStep(
    const Reflector* reflector, std::string_view name,
    const std::shared_ptr<ParametersCollection>& parameters) {
    if (name.empty()) {
        return executionFailure("Method or Property is empty.");
    }
    if (!reflector) {
        return executionFailure(noReflectorMessage(name));
    }

    if (auto property = findAddressedProperty(*reflector, name)) {
        // The attached arguments, not the prefix, decide between reading and writing.
        if (!parameters || parameters->size() == 0) {
            return std::make_shared<ExecutionResult>(property->getValue());
        }
        if (property->matchesParameters(parameters)) {
            return std::make_shared<ExecutionResult>(property->setValue(parameters));
        }
        return executionFailure(joined(
            {"The parameters entered for Property \"", name,
             "\" are not valid.  Only one parameter can be accepted to set the Property and the "
             "type must be \"",
             property->getType(), "\"."}));
    }

    const std::shared_ptr<Methods> methods = reflector->Methods();
    if (const std::shared_ptr<Method>* method = methods->findOverload(name, parameters)) {
        return std::make_shared<ExecutionResult>((*method)->invoke(parameters));
    }
    if (methods->contains(name)) {
        return executionFailure(
            joined({"The parameters entered for Method \"", name,
                    "\" are not valid.  Either the type of one ore more parameters entered are "
                    "not correct, or the number of parameters entered is not correct."}));
    }
    return executionFailure(joined({"No Method or Property named \"", name, "\" was found."}));
}

std::shared_ptr<Reflector> Interpreter::findScriptableRefectorForServiceName(
    std::string name) const {
    auto found = reflectors->find(name);
    return found == reflectors->end() ? nullptr : found->second;
}

std::shared_ptr<Reflector> Interpreter::findScriptableRefectorByUnifiedBusinessObject(
    std::shared_ptr<UnifiedBusinessObject> object) const {
    if (!object) {
        return nullptr;
    }
    return ReflectorFactory::GetReflector(std::move(object));
}

std::shared_ptr<UnifiedBusinessObjectResult> Interpreter::findUnifiedBusinessObjectByGuid(
    std::shared_ptr<ParametersCollection> parameters) const {
    auto failure = [](std::string message) {
        return std::make_shared<UnifiedBusinessObjectResult>(nullptr, std::move(message));
    };
    if (!parameters) {
        return failure("No parameters found for method 'UnifiedBusinessObject'");
    }
    if (parameters->size() != 1) {
        return failure(
            "Insufficient number of parameters found for method 'UnifiedBusinessObject' passed");
    }
    // Only the dynamic type counts; the parameter's name and declared type are not looked at.
    auto guid = std::dynamic_pointer_cast<ActualParameter<std::string>>(parameters->at(0));
    if (!guid) {
        return failure("No GUID parameter found for UnifiedBusinessObject");
    }
    if (!unifiedBusinessObjects) {
        return failure("Map of UnifiedBusinessObjects is not initialized");
    }
    auto found = unifiedBusinessObjects->find(guid->value);
    if (found == unifiedBusinessObjects->end()) {
        return failure("No UnifiedBusinessObject found for GUID:" + guid->value);
    }
    return std::make_shared<UnifiedBusinessObjectResult>(found->second);
}

std::shared_ptr<SubscriptionResult> Interpreter::subscribe(
    std::shared_ptr<Subscription> subscription) const {
    if (!subscription) {
        return subscriptionFailure("Cannot subscribe an empty Subscription.");
    }
    // No start by GUID here: every first name is a service name.
    const std::string start = subscription->getNextMethod();
    std::shared_ptr<Reflector> reflector = findScriptableRefectorForServiceName(start);
    if (!reflector) {
        return subscriptionFailure(noServiceMessage(start));
    }

    std::string name = subscription->getNextMethod();
    // Walking stops at the first name equal to the last one, even in the middle of the path.
    while (name != subscription->getLastMethod()) {
        Request& path = *subscription;
        auto result = runStep(reflector.get(), name, path.argumentsForStep(name, reflector.get()));
        if (!result->isSuccess()) {
            return subscriptionFailure(result->getErrorMessage());
        }
        const std::shared_ptr<ReturnValue> value = result->getResult();
        if (!value) {
            return subscriptionFailure(noValueMessage(name));
        }
        reflector = value->getReflector();
        name = subscription->getNextMethod();
    }

    if (!reflector) {
        return subscriptionFailure(noReflectorMessage(name));
    }
    // Only properties can be subscribed to; arguments attached to the last name are ignored.
    auto property = findAddressedProperty(*reflector, name);
    if (!property) {
        return subscriptionFailure("Cannot subscribe Property \"" + name +
                                   "\" because this property could not be found by Reflection.");
    }
    return subscribeToPropertyUsingCorrectCallback(std::move(subscription), std::move(property));
}

std::shared_ptr<SubscriptionResult> Interpreter::subscribeToPropertyUsingCorrectCallback(
    std::shared_ptr<Subscription> subscription, std::shared_ptr<Property> property) const {
    if (!property) {
        return subscriptionFailure(
            "Cannot attempt to subscribe to a Shared Pointer to a Null Property.");
    }
    auto missingCallback = [&property](const char* kind) {
        return subscriptionFailure("Cannot subscribe Property \"" + property->getPropertyName() +
                                   "\" because the subscription's " + kind + " callback is empty.");
    };
    // Holds the property, so the property lives as long as any connected function does.
    const PropertyValueFetcher fetcher = [property]() { return property->getValue(); };
    const std::string identifier = subscription->getFriendlyIdentifier();

    if (auto nonList = std::dynamic_pointer_cast<NonListProperty>(property)) {
        auto callback = subscription->getNonListPropertyCallback();
        if (!callback) {
            return missingCallback("non-list property");
        }
        return std::make_shared<SubscriptionResult>(nonList->subscribe(
            [callback, identifier, fetcher]() { callback(identifier, fetcher); }));
    }
    auto mutableList = std::dynamic_pointer_cast<MutableListProperty>(property);
    auto list = std::dynamic_pointer_cast<ListProperty>(property);
    if (list && !mutableList) {
        auto callback = subscription->getBasicListPropertyCallback();
        if (!callback) {
            return missingCallback("basic-list property");
        }
        return std::make_shared<SubscriptionResult>(
            list->subscribe([callback, identifier, fetcher](bool flag, int first, int second) {
                callback(identifier, fetcher, flag, first, second);
            }));
    }
    if (!mutableList) {
        return subscriptionFailure(
            "The type of Property that we attempted to subscribe to is not a NonListProperty or "
            "ListProperty so subscription is not possible.");
    }
    auto callback = subscription->getMutableObjectListPropertyCallback();
    if (!callback) {
        return missingCallback("mutable-object-list property");
    }
    return std::make_shared<SubscriptionResult>(mutableList->subscribe(
        [callback, identifier, fetcher](bool flag, int first, int second, int third) {
            callback(identifier, fetcher, flag, first, second, third);
        }));
}

std::shared_ptr<ReflectionCallback> Interpreter::createReflectionCallback(std::string name) const {
    return ReflectionCallbackFactory::GetReflectionCallback(std::move(name));
}

}  // namespace ZAMUnified
