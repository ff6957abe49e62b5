#include <ZAMUnified/TextInterpreter.h>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/HelperReturnValues.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/Methods.h>
#include <ZAMUnified/MutableListProperty.h>
#include <ZAMUnified/NonListProperty.h>
#include <ZAMUnified/Properties.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ServiceFactoryImpl.h>
#include <ZAMUnified/Subscription.h>
#include <ZAMUnified/UnifiedException.h>

#include "interpreter/detail/ArgumentTyping.h"
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
    auto* impl = dynamic_cast<ServiceFactoryImpl*>(&factory);
    if (!impl || !impl->getUnifiedFactory()) {
        throw std::invalid_argument("TextInterpreter needs the factory that GetFactory() answers");
    }
    return impl->getUnifiedFactory();
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

}  // namespace

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
    auto failure = [this](std::string message) {
        return failedResult(std::move(message), std::move(why_));
    };
    // Service code runs inside; whatever it throws is reported and the caller carries on.
    try {
        TextResult result = body();
        if (!result.ok && result.why.empty()) {
            result.why = std::move(why_);
        }
        return result;
    } catch (const TextRequestFailure& error) {
        return failure(error.what());
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
        auto steps = std::make_shared<std::vector<Step>>(parsed(line));
        auto request = std::make_shared<Request>(RequestSyntax::interpreterPath(*steps));
        prepare(steps, *request);
        const auto result = interpreter_.execute(request);
        if (!result->isSuccess()) {
            return failedResult(result->getErrorMessage());
        }
        remember(result->getResult());
        return presentValue(result->getResult(), options_.revealSecrets);
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

void TextInterpreter::prepare(const std::shared_ptr<std::vector<Step>>& steps, Request& request) {
    resolveStart(*steps);
    // The interpreter attaches arguments to names, not to positions: a name used twice must
    // carry the same arguments both times.
    std::map<std::string, const Step*> first;
    for (std::size_t index = 0; index < steps->size(); ++index) {
        const Step& step = (*steps)[index];
        if (step.guidStart) {
            request.addParameterToMethod(kGuidStart, std::make_shared<ActualParameter<std::string>>(
                                                         "string", "guid", step.name));
            continue;
        }
        const auto seen = first.emplace(step.name, &step);
        if (!seen.second && !(seen.first->second->arguments == step.arguments)) {
            throw TextRequestFailure("step '" + step.name +
                                     "' appears twice with different arguments; arguments belong "
                                     "to names, so split the request in two");
        }
        // Arguments whose types the text gives are typed now, before anything runs.
        if (seen.second && !step.arguments.empty() && (index == 0 || detail::typedByText(step))) {
            request.addParameterCollectionToMethod(
                step.name, detail::typeArguments(step, index == 0, nullptr, "", objects_));
        }
    }
    // The others when the walk reaches their step and the object it runs on is known.
    request.setArgumentResolver(
        [steps, objects = objects_](const Reflector* reflector, std::string_view name) {
            for (std::size_t index = 1; index < steps->size(); ++index) {
                const Step& step = (*steps)[index];
                if (step.name != name) {
                    continue;
                }
                if (step.arguments.empty()) {
                    return std::shared_ptr<ParametersCollection>();
                }
                const std::string why = "'" + (*steps)[index - 1].name + "' is not an object";
                return detail::typeArguments(step, false, reflector, why, objects);
            }
            return std::shared_ptr<ParametersCollection>();
        });
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
    auto prefix = std::make_shared<std::vector<Step>>(steps.begin(), steps.begin() + count);
    auto request = std::make_shared<Request>(RequestSyntax::interpreterPath(*prefix));
    prepare(prefix, *request);
    const auto result = interpreter_.execute(request);
    if (!result->isSuccess()) {
        failure = failedResult(result->getErrorMessage());
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
            if (const auto property = detail::addressedProperty(*owner, last.name)) {
                if (property->getType() != "object") {
                    description.member = property->getPropertyName();
                    description.memberKind = "property";
                    description.properties.push_back(
                        {property->getPropertyName(), property->getType(), property->isReadOnly(),
                         propertyKind(property), isWatchable(property)});
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
                    description.methods.push_back(
                        {last.name, overload->getReturnType(), overload->getParameters()});
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
            const auto property = properties->getProperty(name);
            description.properties.push_back({name, property->getType(), property->isReadOnly(),
                                              propertyKind(property), isWatchable(property)});
        }
        const auto methods = reflector->Methods();
        std::vector<std::string> names = methods->getMethodNames();
        names.erase(std::unique(names.begin(), names.end()), names.end());
        for (const std::string& name : names) {
            for (const auto& overload : methods->getOverloads(name)) {
                description.methods.push_back(
                    {name, overload->getReturnType(), overload->getParameters()});
            }
        }
        return result;
    });
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
        auto steps = std::make_shared<std::vector<Step>>(parsed(path));
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
            RequestSyntax::interpreterPath(*steps), label,
            [notify](std::string id, PropertyValueFetcher fetcher) {
                notify(id, fetcher, PropertyChange());
            },
            listChange, listChange,
            [notify](std::string id, PropertyValueFetcher fetcher, bool flag, int a, int b, int c) {
                notify(id, fetcher, {true, flag, {a, b, c}});
            });
        prepare(steps, *subscription);
        const auto result = interpreter_.subscribe(subscription);
        subscription->setArgumentResolver(nullptr);
        if (!result->isSuccess()) {
            return failedResult(result->getErrorMessage());
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
