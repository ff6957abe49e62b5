#include <ZAMUnified/TextInterpreter.h>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/HelperReturnValues.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/MemberDescription.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/Methods.h>
#include <ZAMUnified/MutableListProperty.h>
#include <ZAMUnified/NonListProperty.h>
#include <ZAMUnified/Properties.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/Subscription.h>
#include <ZAMUnified/UnifiedException.h>
#include <ZAMUnified/ValueTypes.h>

#include "interpreter/detail/ArgumentTyping.h"
#include "interpreter/detail/PropertyAddressing.h"
#include "interpreter/detail/ServiceNames.h"

#include <algorithm>
#include <stdexcept>
#include <typeinfo>
#include <utility>

namespace ZAMUnified {

namespace {

using detail::TextRequestFailure;
using RequestSyntax::Step;

const char* const kGuidStart = "UnifiedBusinessObject";

std::shared_ptr<UnifiedFactory> unifiedFactoryOf(ServiceFactory& factory) {
    std::shared_ptr<UnifiedFactory> unified = factory.getUnifiedFactory();
    if (!unified) {
        throw std::invalid_argument("TextInterpreter needs the factory that GetFactory() answers");
    }
    return unified;
}

std::vector<Step> parsed(const std::string& path) {
    try {
        return RequestSyntax::parsePath(path);
    } catch (const RequestSyntax::SyntaxError& error) {
        throw TextRequestFailure(std::string("syntax error at ") + error.what());
    }
}

std::string propertyKind(const std::shared_ptr<Property>& property) {
    if (std::dynamic_pointer_cast<MutableListProperty>(property)) {
        return "mutable list";
    }
    if (std::dynamic_pointer_cast<ListProperty>(property)) {
        return "list";
    }
    return "value";
}

bool holdsSecret(const ParametersCollection& arguments) {
    for (int k = 0; k < arguments.size(); ++k) {
        if (arguments[k] && isSecretTypeName(arguments[k]->getParameterType())) {
            return true;
        }
    }
    return false;
}

// Whether the property announces changes: subscribing to one without a change notifier gives an
// expired connection. The probe connects an empty function, which is never called, and
// disconnects it at once.
bool isWatchable(const std::shared_ptr<Property>& property) {
    std::weak_ptr<PropertyNotifierConnection> connection;
    if (auto nonList = std::dynamic_pointer_cast<NonListProperty>(property)) {
        connection = nonList->subscribe(std::function<void()>());
    } else if (auto mutableList = std::dynamic_pointer_cast<MutableListProperty>(property)) {
        connection = mutableList->subscribe(std::function<void(bool, int, int, int)>());
    } else if (auto list = std::dynamic_pointer_cast<ListProperty>(property)) {
        connection = list->subscribe(std::function<void(bool, int, int)>());
    }
    if (auto live = connection.lock()) {
        live->disconnect();
        return true;
    }
    return false;
}

ObjectDescription::PropertyEntry propertyEntry(const std::shared_ptr<Property>& property) {
    ObjectDescription::PropertyEntry entry;
    entry.name = property->getPropertyName();
    entry.type = property->getType();
    entry.readOnly = property->isReadOnly();
    entry.kind = propertyKind(property);
    entry.watchable = isWatchable(property);
    entry.description = descriptionOf(*property);
    return entry;
}

ObjectDescription::MethodEntry methodEntry(const std::string& name, const Method& overload) {
    ObjectDescription::MethodEntry entry;
    entry.name = name;
    entry.returnType = overload.getReturnType();
    entry.parameters = overload.getParameters();
    entry.description = descriptionOf(overload);
    return entry;
}

}  // namespace

struct TextInterpreter::Walk {
    std::vector<Step> steps;
    bool secret = false;  // an argument was typed as a secret
    // Per step, the arguments typed before the walk (those whose types the text gives).
    std::vector<std::shared_ptr<ParametersCollection>> typed;
    std::size_t next = 1;  // the step the resolver hears of next; the start is never asked for
    std::size_t reached = 0;
    std::string reachedOn;  // the interface of the object the step reached runs on
};

TextInterpreter::TextInterpreter(std::shared_ptr<UnifiedFactory> factory, TextOptions options)
    : factory_(std::move(factory)), options_(options) {
    interpreter_.setUnifiedBusinessObjectMap(objects_);
}

TextInterpreter::TextInterpreter(ServiceFactory& factory, TextOptions options)
    : TextInterpreter(unifiedFactoryOf(factory), options) {}

TextInterpreter::~TextInterpreter() {
    for (auto& watch : watches_) {
        if (auto connection = watch.second.lock()) {
            connection->disconnect();
        }
    }
}

TextResult TextInterpreter::guarded(const std::function<TextResult()>& body) {
    why_.clear();
    auto failure = [this](std::string message,
                          TextResult::Failure kind = TextResult::Failure::Exception) {
        return failedResult(std::move(message), std::move(why_), kind);
    };
    // Service code runs inside; whatever it throws is reported and the caller carries on.
    try {
        TextResult result = body();
        if (!result.ok && result.why.empty()) {
            result.why = std::move(why_);
        }
        return result;
    } catch (const TextRequestFailure& error) {
        return failure(error.what(), TextResult::Failure::Request);
    } catch (UnifiedException& error) {
        return failure("exception " + error.getInterfaceName() + ": " + error.getMessage());
    } catch (const std::exception& error) {
        return failure("exception " + detail::demangledName(typeid(error).name()) + ": " +
                       error.what());
    } catch (...) {
        return failure("exception of a type that is not a std::exception");
    }
}

TextResult TextInterpreter::run(const std::string& line) {
    return guarded([&] {
        std::vector<Step> steps = parsed(line);
        auto request = std::make_shared<Request>(RequestSyntax::interpreterPath(steps));
        const auto walk = prepare(std::move(steps), *request);
        auto result = [&] {
            const auto executed = interpreter_.execute(request);
            if (!executed->isSuccess()) {
                return walkFailure(*walk, executed->getErrorMessage());
            }
            remember(executed->getResult());
            return presentValue(executed->getResult(), options_.revealSecrets);
        }();
        result.carriedSecret = walk->secret;
        return result;
    });
}

void TextInterpreter::resolveStart(const std::vector<Step>& steps) {
    const Step& start = steps.front();
    if (start.guidStart || start.name == kGuidStart) {
        return;
    }
    if (start.hasArgumentList && !start.arguments.empty()) {
        throw TextRequestFailure("the first step names a service, which takes no arguments");
    }
    if (reflectors_->count(start.name) != 0) {
        return;
    }
    // Asking the factory loads the service's library on first use.
    const detail::ServiceKey key = detail::serviceKeyFor(*factory_, start.name);
    if (!key.ambiguous.empty()) {
        std::string names;
        for (const std::string& qualified : key.ambiguous) {
            names += (names.empty() ? "" : ", ") + qualified;
        }
        throw TextRequestFailure("the short name " + RequestSyntax::quote(start.name) +
                                 " is ambiguous: " + names + "; name one of them in full");
    }
    std::shared_ptr<UnifiedService> service;
    if (key.byId) {
        service = factory_->getService(key.id);
    } else if (!key.mangled.empty()) {
        service = factory_->getService(key.mangled);
    }
    if (!service) {
        // The interpreter tells the user; the factory knows why, if a load was tried.
        if (key.byId) {
            why_ = factory_->getServiceLoadFailure(key.id);
        } else if (!key.mangled.empty()) {
            why_ = factory_->getServiceLoadFailure(key.mangled);
        }
        return;
    }
    auto reflector =
        ReflectorFactory::GetReflector(std::shared_ptr<UnifiedBusinessObject>(service));
    if (!reflector) {
        throw TextRequestFailure("the service " + RequestSyntax::quote(start.name) +
                                 " has no reflector, so it cannot be driven by text");
    }
    (*reflectors_)[start.name] = reflector;
}

std::shared_ptr<TextInterpreter::Walk> TextInterpreter::prepare(std::vector<Step> steps,
                                                                Request& request) {
    resolveStart(steps);
    auto walk = std::make_shared<Walk>();
    walk->steps = std::move(steps);
    walk->typed.resize(walk->steps.size());
    // Requests carry arguments by name: a name used twice must carry the same arguments.
    for (std::size_t index = 0; index < walk->steps.size(); ++index) {
        const Step& step = walk->steps[index];
        if (step.guidStart) {
            request.addParameterToMethod(kGuidStart, std::make_shared<ActualParameter<std::string>>(
                                                         "string", "guid", step.name));
            continue;
        }
        // Paths are short: the steps before are looked through.
        const auto first =
            std::find_if(walk->steps.begin(), walk->steps.begin() + index,
                         [&step](const Step& other) { return other.name == step.name; });
        if (first != walk->steps.begin() + index && !(first->arguments == step.arguments)) {
            throw TextRequestFailure("step '" + step.name +
                                     "' appears twice with different arguments; arguments belong "
                                     "to names, so split the request in two");
        }
        if (step.arguments.empty()) {
            continue;
        }
        // Arguments whose types the text gives are typed now, before anything runs.
        if (index == 0) {
            request.addParameterCollectionToMethod(
                step.name, detail::typeArguments(step, true, nullptr, "", objects_));
        } else if (detail::typedByText(step)) {
            walk->typed[index] = detail::typeArguments(step, false, nullptr, "", objects_);
            walk->secret = holdsSecret(*walk->typed[index]) || walk->secret;
        }
    }
    // The interpreter asks for every step after the start, in order, as it reaches it.
    request.setArgumentResolver([walk, objects = objects_](const Reflector* reflector,
                                                           std::string_view name) {
        std::size_t index = walk->next;
        while (index < walk->steps.size() && walk->steps[index].name != name) {
            ++index;  // a path the interpreter splits other than the syntax did
        }
        if (index >= walk->steps.size()) {
            return std::shared_ptr<ParametersCollection>();
        }
        walk->next = index + 1;
        walk->reached = index;
        // getInterfaceName() is not const, but only reads.
        walk->reachedOn = reflector ? const_cast<Reflector*>(reflector)->getInterfaceName() : "";
        const Step& step = walk->steps[index];
        // Steps typed by their own signature say what they miss while being typed.
        if (reflector && (walk->typed[index] || step.arguments.empty())) {
            const std::string missing = detail::missingArguments(step, *reflector);
            if (!missing.empty()) {
                throw TextRequestFailure(missing);
            }
        }
        if (walk->typed[index] || step.arguments.empty()) {
            return walk->typed[index];
        }
        const std::string why = "'" + walk->steps[index - 1].name + "' is not an object";
        auto arguments = detail::typeArguments(step, false, reflector, why, objects);
        walk->secret = holdsSecret(*arguments) || walk->secret;
        return arguments;
    });
    return walk;
}

TextResult TextInterpreter::walkFailure(const Walk& walk, const std::string& message) const {
    // Deep in a chain, the interpreter's words alone do not say where; a failure to continue
    // after a step without a value names its step itself.
    if (walk.reached < 2 || walk.reachedOn.empty() ||
        message.rfind("Method or Property \"", 0) == 0) {
        return failedResult(message);
    }
    return failedResult(message + " (at step " + std::to_string(walk.reached + 1) + " of " +
                        std::to_string(walk.steps.size()) + ", \"" + walk.steps[walk.reached].name +
                        "\" on " + walk.reachedOn + ")");
}

std::shared_ptr<Reflector> TextInterpreter::startReflector(const Step& start, std::string& why) {
    std::string guid;
    if (start.guidStart) {
        guid = start.name;
    } else if (start.name == kGuidStart) {
        if (start.arguments.size() != 1) {
            why = "the start needs exactly one GUID";
            return nullptr;
        }
        guid = start.arguments.front().value;
    } else {
        auto reflector = interpreter_.findScriptableRefectorForServiceName(start.name);
        if (!reflector) {
            why = "no service is named " + RequestSyntax::quote(start.name);
        }
        return reflector;
    }
    const auto found = objects_->find(guid);
    if (found == objects_->end()) {
        why = "no business object has GUID " + RequestSyntax::quote(guid);
        return nullptr;
    }
    auto reflector = interpreter_.findScriptableRefectorByUnifiedBusinessObject(found->second);
    if (!reflector) {
        why = "the object with GUID " + RequestSyntax::quote(guid) + " has no reflector";
    }
    return reflector;
}

std::shared_ptr<Reflector> TextInterpreter::objectAt(const std::vector<Step>& steps,
                                                     std::size_t count, TextResult& failure) {
    std::string why;
    if (count == 1) {
        auto reflector = startReflector(steps.front(), why);
        if (!reflector) {
            failure = failedResult(why);
        }
        return reflector;
    }
    std::vector<Step> prefix(steps.begin(), steps.begin() + count);
    auto request = std::make_shared<Request>(RequestSyntax::interpreterPath(prefix));
    const auto walk = prepare(std::move(prefix), *request);
    const auto result = interpreter_.execute(request);
    if (!result->isSuccess()) {
        failure = walkFailure(*walk, result->getErrorMessage());
        return nullptr;
    }
    remember(result->getResult());
    auto reflector = result->getResult() ? result->getResult()->getReflector() : nullptr;
    if (!reflector) {
        std::string path;
        for (std::size_t k = 0; k < count; ++k) {
            path +=
                std::string(k == 0 ? "" : "/") + (steps[k].guidStart ? "@" : "") + steps[k].name;
        }
        failure = failedResult("the value of " + path + " is not an object");
    }
    return reflector;
}

TextResult TextInterpreter::describe(const std::string& path, ObjectDescription& description) {
    return guarded([&] {
        const std::vector<Step> steps = parsed(path);
        resolveStart(steps);
        description = ObjectDescription();
        TextResult result;
        result.ok = true;
        const Step& last = steps.back();
        std::shared_ptr<Reflector> reflector;
        if (steps.size() > 1 && !last.hasArgumentList) {
            // The owner of the last member; the member decides what is described.
            const auto owner = objectAt(steps, steps.size() - 1, result);
            if (!owner) {
                return result;
            }
            description.interfaceName = owner->getInterfaceName();
            if (const auto property = detail::findAddressedProperty(*owner, last.name)) {
                if (property->getType() != "object") {
                    description.member = property->getPropertyName();
                    description.memberKind = "property";
                    description.properties.push_back(propertyEntry(property));
                    return result;
                }
                const auto value = property->getValue();
                remember(value);
                reflector = value ? value->getReflector() : nullptr;
                if (!reflector) {
                    return failedResult("the value of " + path + " is not an object");
                }
            } else if (!owner->Methods()->getOverloads(last.name).empty()) {
                description.member = last.name;
                description.memberKind = "method";
                for (const auto& overload : owner->Methods()->getOverloads(last.name)) {
                    description.methods.push_back(methodEntry(last.name, *overload));
                }
                return result;
            }
        }
        if (!reflector) {
            reflector = objectAt(steps, steps.size(), result);
            if (!reflector) {
                return result;
            }
        }
        description.interfaceName = reflector->getInterfaceName();
        const auto properties = reflector->Properties();
        for (const std::string& name : properties->getPropertyNames()) {
            description.properties.push_back(propertyEntry(properties->getProperty(name)));
        }
        const auto methods = reflector->Methods();
        std::vector<std::string> names = methods->getMethodNames();
        names.erase(std::unique(names.begin(), names.end()), names.end());
        for (const std::string& name : names) {
            for (const auto& overload : methods->getOverloads(name)) {
                description.methods.push_back(methodEntry(name, *overload));
            }
        }
        return result;
    });
}

std::vector<std::string> TextInterpreter::memberNames(const std::string& path) {
    std::vector<std::string> names;
    try {
        const std::vector<Step> steps = parsed(path);
        resolveStart(steps);
        std::string why;
        std::shared_ptr<Reflector> reflector = startReflector(steps.front(), why);
        for (std::size_t k = 1; k < steps.size() && reflector; ++k) {
            const auto property = steps[k].hasArgumentList
                                      ? nullptr
                                      : detail::findAddressedProperty(*reflector, steps[k].name);
            const auto value = property ? property->getValue() : nullptr;
            reflector = value ? value->getReflector() : nullptr;
        }
        if (!reflector) {
            return names;
        }
        names = reflector->Properties()->getPropertyNames();
        for (const std::string& method : reflector->Methods()->getMethodNames()) {
            names.push_back(method);
        }
    } catch (...) {
        // A path that does not parse, or service code that throws, has nothing to offer.
        names.clear();
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

TextResult TextInterpreter::watch(const std::string& path, const std::string& label,
                                  WatchCallback callback) {
    return guarded([&] {
        if (path.empty() || label.empty()) {
            return failedResult("watch needs a path, such as: watch HelloWorldService/Greeting");
        }
        if (watches_.count(label) != 0) {
            return failedResult("already watching " + label);
        }
        std::vector<Step> steps = parsed(path);
        const bool reveal = options_.revealSecrets;
        // Reading the value must not fail the notifying code.
        auto notify = [callback, reveal](const std::string& id, const PropertyValueFetcher& fetcher,
                                         const PropertyChange& change) {
            TextResult value;
            try {
                value = presentValue(fetcher(), reveal);
            } catch (...) {
                value = failedResult("reading " + id + " for its notification failed");
            }
            callback(id, value, change);
        };
        auto listChange = [notify](std::string id, PropertyValueFetcher fetcher, bool flag, int a,
                                   int b) {
            notify(id, fetcher, {true, flag, {a, b}});
        };
        auto subscription = std::make_shared<Subscription>(
            RequestSyntax::interpreterPath(steps), label,
            [notify](std::string id, PropertyValueFetcher fetcher) {
                notify(id, fetcher, PropertyChange());
            },
            listChange, listChange,
            [notify](std::string id, PropertyValueFetcher fetcher, bool flag, int a, int b, int c) {
                notify(id, fetcher, {true, flag, {a, b, c}});
            });
        const auto walk = prepare(std::move(steps), *subscription);
        const auto result = interpreter_.subscribe(subscription);
        subscription->setArgumentResolver(nullptr);
        if (!result->isSuccess()) {
            return walkFailure(*walk, result->getErrorMessage());
        }
        if (result->getResult().expired()) {
            return failedResult("cannot watch " + path +
                                ": the property has no change notifier, so it announces no "
                                "changes");
        }
        watches_[label] = result->getResult();
        TextResult done;
        done.ok = true;
        return done;
    });
}

TextResult TextInterpreter::unwatch(const std::string& label) {
    const auto found = watches_.find(label);
    if (found == watches_.end()) {
        return failedResult("not watching " + RequestSyntax::quote(label));
    }
    if (auto connection = found->second.lock()) {
        connection->disconnect();
    }
    watches_.erase(found);
    TextResult done;
    done.ok = true;
    return done;
}

void TextInterpreter::remember(const std::shared_ptr<ReturnValue>& value) {
    // The helpers' object results are typed "object"; the name spares the cast for the others.
    if (!value || value->getReturnType() != "object") {
        return;
    }
    if (auto* object = dynamic_cast<ObjectReturnValue*>(value.get())) {
        if (auto target = object->getObject()) {
            (*objects_)[target->getGuid()] = target;
        }
    }
}

}  // namespace ZAMUnified
