#include "Shell.h"

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <typeinfo>
#include <utility>

#include "Json.h"
#include "Text.h"

namespace svcsh {

using namespace ZAMUnified;
using ReflectionTypeConversion::ReturnTypeToStringConversions::GetReturnValueAsString;
using ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings;

namespace {

const char* const kGuidStart = "UnifiedBusinessObject";
const char* const kMask = "********";

const std::set<std::string>& scalarTypes() {
    static const std::set<std::string> types{"int",
                                             "unsigned int",
                                             "float",
                                             "bool",
                                             "long",
                                             "char",
                                             "std::string",
                                             "string",
                                             "std::wstring",
                                             "wstring",
                                             "zam::SecureString",
                                             "securestring",
                                             "long long"};
    return types;
}

bool isSecretType(const std::string& type) {
    return type == "zam::SecureString" || type == "securestring" ||
           type == "list(zam::SecureString)" || type == "list(securestring)";
}

std::string demangle(const std::string& mangled) {
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
    if (status != 0 || plain == nullptr) {
        return mangled;
    }
    std::string text(plain);
    std::free(plain);
    return text;
}

std::string lastComponent(const std::string& qualified) {
    const std::size_t colons = qualified.rfind("::");
    return colons == std::string::npos ? qualified : qualified.substr(colons + 2);
}

// "A::B" -> "N1A1BE", the form under which service libraries register their types; empty for
// a name that is not qualified.
std::string mangle(const std::string& qualified) {
    std::string mangled = "N";
    std::size_t begin = 0;
    int pieces = 0;
    for (;;) {
        const std::size_t colons = qualified.find("::", begin);
        const std::string piece = qualified.substr(begin, colons - begin);
        if (piece.empty()) {
            return "";
        }
        mangled += std::to_string(piece.size()) + piece;
        ++pieces;
        if (colons == std::string::npos) {
            break;
        }
        begin = colons + 2;
    }
    return pieces < 2 ? "" : mangled + "E";
}

bool parseId(const std::string& text, unsigned int& id) {
    try {
        id = KORCoreUtils::toUnsignedInt(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The interpreter's rule: a get or set prefix in any letter case addresses the property named
// by the rest, any other name the property of exactly that name.
std::shared_ptr<Property> addressedProperty(const Reflector& reflector, const std::string& name) {
    const std::string prefix = name.substr(0, 3);
    const bool prefixed = KORCoreUtils::caseInsensitiveStringEquals(prefix, "get") ||
                          KORCoreUtils::caseInsensitiveStringEquals(prefix, "set");
    return reflector.Properties()->getProperty(prefixed ? name.substr(3) : name);
}

std::string article(const std::string& type) {
    return std::string("aeiou").find(type[0]) == std::string::npos ? "a" : "an";
}

// Why GetFormalParameterFromStrings gave nothing for this type and text.
std::string conversionProblem(const std::string& type, const std::string& value) {
    if (scalarTypes().count(type) != 0) {
        return quote(value) + " is not " + article(type) + " " + type;
    }
    if (type.rfind("list(", 0) == 0 && type.back() == ')' &&
        scalarTypes().count(type.substr(5, type.size() - 6)) != 0) {
        return quote(value) + " is not a " + type;
    }
    if (type == "object") {
        return "no business object has GUID " + quote(value);
    }
    if (type == "callback") {
        return "no callback is named " + quote(value);
    }
    if (type == "null") {
        return "no null object is registered for " + quote(value);
    }
    return "unknown type " + quote(type);
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

}  // namespace

Shell::Shell(ServiceFactory& factory, std::shared_ptr<UnifiedFactory> unified, std::ostream& out,
             std::ostream& err, Options options)
    : factory_(factory), unified_(std::move(unified)), out_(out), err_(err), options_(options) {
    interpreter_.setUnifiedBusinessObjectMap(objects_);
}

Shell::~Shell() {
    for (auto& watch : watches_) {
        if (auto connection = watch.second.lock()) {
            connection->disconnect();
        }
    }
}

bool Shell::pump() {
    // A task that throws reaches the pumping host, and the tasks behind it stay queued: the
    // shell reports it and pumps on.
    bool ok = true;
    for (;;) {
        std::string failure;
        try {
            factory_.pumpAllDispatcherTasks();
            return ok;
        } catch (UnifiedException& error) {
            failure = error.getInterfaceName() + ": " + error.getMessage();
        } catch (const std::exception& error) {
            failure = demangle(typeid(error).name()) + ": " + error.what();
        } catch (...) {
            failure = "an exception that is not a std::exception";
        }
        ok = false;
        if (options_.json) {
            out_ << JsonObject().add("pump", where_).add("ok", false).add("error", failure).str()
                 << std::endl;
        } else {
            out_ << std::flush;
            err_ << (where_.empty() ? std::string("error") : where_) << ": a dispatcher task threw "
                 << failure << std::endl;
        }
    }
}

void Shell::pumpFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    pump();
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        factory_.waitForDispatcherTask(left.count());
        pump();
    }
}

bool Shell::runLine(const std::string& rawLine, const std::string& where) {
    where_ = where;
    const std::string line = trim(rawLine);
    if (line.empty() || line[0] == '#') {
        return true;
    }
    // Tasks queued before the line, and those it queued, run around it; one that throws fails
    // the line.
    bool ok = pump();
    const std::size_t blank = line.find_first_of(" \t");
    const std::string word = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : trim(line.substr(blank));
    ok = (commands().count(word) != 0 ? runCommand(word, rest, line) : runRequest(line)) && ok;
    return pump() && ok;
}

bool Shell::runRequest(const std::string& line) {
    kind_ = "request";
    why_.clear();
    std::vector<Step> steps;
    try {
        steps = parsePath(line);
    } catch (const SyntaxError& error) {
        return fail(line, std::string("syntax error at ") + error.what());
    }
    return guarded(line, [&] {
        resolveStart(steps);
        auto request = std::make_shared<Request>(interpreterPath(steps));
        attachArguments(steps, *request);
        const auto result = interpreter_.execute(request);
        if (!result->isSuccess()) {
            return fail(line, result->getErrorMessage());
        }
        remember(result->getResult());
        printResult(line, result->getResult());
        return true;
    });
}

const std::map<std::string, Shell::Command>& Shell::commands() {
    // A line whose first word is one of these is a command, whatever follows.
    static const std::map<std::string, Command> table{{"help", &Shell::help},
                                                      {"services", &Shell::services},
                                                      {"libraries", &Shell::libraries},
                                                      {"describe", &Shell::describe},
                                                      {"watch", &Shell::watch},
                                                      {"unwatch", &Shell::unwatch},
                                                      {"featureset", &Shell::featureSet},
                                                      {"auth", &Shell::authenticator},
                                                      {"monitor", &Shell::monitor},
                                                      {"objects", &Shell::objects},
                                                      {"pump", &Shell::pumpCommand},
                                                      {"stats", &Shell::stats},
                                                      {"manifest", &Shell::manifest},
                                                      {"quit", &Shell::quitCommand},
                                                      {"exit", &Shell::quitCommand}};
    return table;
}

bool Shell::runCommand(const std::string& name, const std::string& arguments,
                       const std::string& line) {
    kind_ = "command";
    const Command command = commands().at(name);
    return guarded(line, [&] { return (this->*command)(arguments, line); });
}

bool Shell::guarded(const std::string& line, const std::function<bool()>& body) {
    // Service code runs inside; whatever it throws is reported and the shell carries on.
    try {
        return body();
    } catch (const Failure& failure) {
        return fail(line, failure.message);
    } catch (UnifiedException& error) {
        return fail(line, "exception " + error.getInterfaceName() + ": " + error.getMessage());
    } catch (const std::exception& error) {
        return fail(line, "exception " + demangle(typeid(error).name()) + ": " + error.what());
    } catch (...) {
        return fail(line, "exception of a type that is not a std::exception");
    }
}

// --- requests ---------------------------------------------------------------------------------

Shell::ServiceKey Shell::serviceKeyFor(const std::string& name) {
    ServiceKey key;
    if (!name.empty() &&
        std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        key.byId = parseId(name, key.id);
        return key;
    }
    if (name.find("::") != std::string::npos) {
        key.mangled = mangle(name);
        return key;
    }
    // A short class name: first among the registered services, then among those the library
    // records promise.
    for (const auto& entry : unified_->getServiceRegistry()->itemsByName()) {
        if (lastComponent(demangle(entry.first)) == name) {
            key.mangled = entry.first;
            return key;
        }
    }
    if (auto loader = unified_->getLibraryLoader()) {
        for (const LibraryRecord& record : loader->getLibraryRecords()) {
            for (const std::string& mangled : record.serviceNames) {
                if (lastComponent(demangle(mangled)) == name) {
                    key.mangled = mangled;
                    return key;
                }
            }
        }
    }
    // A mangled name is the factory's key as it is; any other plain name is no service's.
    if (name.size() > 2 && name.front() == 'N' && name.back() == 'E' &&
        std::isdigit(static_cast<unsigned char>(name[1]))) {
        key.mangled = name;
    }
    return key;
}

void Shell::resolveStart(const std::vector<Step>& steps) {
    const Step& start = steps.front();
    if (start.guidStart || start.name == kGuidStart) {
        return;
    }
    if (start.hasArgumentList && !start.arguments.empty()) {
        throw Failure{"the first step names a service, which takes no arguments"};
    }
    if (reflectors_->count(start.name) != 0) {
        return;
    }
    // Asking the factory loads the service's library on first use.
    const ServiceKey key = serviceKeyFor(start.name);
    std::shared_ptr<UnifiedService> service;
    if (key.byId) {
        service = factory_.getService(key.id);
    } else if (!key.mangled.empty()) {
        service = factory_.getService(key.mangled);
    }
    if (!service) {
        // The interpreter tells the user; the factory knows why, if a load was tried.
        if (key.byId) {
            why_ = unified_->getServiceLoadFailure(key.id);
        } else if (!key.mangled.empty()) {
            why_ = unified_->getServiceLoadFailure(key.mangled);
        }
        return;
    }
    auto reflector =
        ReflectorFactory::GetReflector(std::shared_ptr<UnifiedBusinessObject>(service));
    if (!reflector) {
        throw Failure{"the service " + quote(start.name) +
                      " has no reflector, so it cannot be driven by text"};
    }
    (*reflectors_)[start.name] = reflector;
}

void Shell::attachArguments(const std::vector<Step>& steps, Request& request) {
    // The interpreter attaches arguments to names, not to positions: a name used twice must
    // carry the same arguments both times.
    std::map<std::string, const Step*> first;
    for (std::size_t index = 0; index < steps.size(); ++index) {
        const Step& step = steps[index];
        if (step.guidStart) {
            request.addParameterToMethod(kGuidStart, std::make_shared<ActualParameter<std::string>>(
                                                         "string", "guid", step.name));
            continue;
        }
        const auto seen = first.emplace(step.name, &step);
        if (!seen.second) {
            if (!(seen.first->second->arguments == step.arguments)) {
                throw Failure{"step '" + step.name +
                              "' appears twice with different arguments; arguments belong to "
                              "names, so split the request in two"};
            }
            continue;
        }
        if (!step.arguments.empty()) {
            request.addParameterCollectionToMethod(step.name, convertArguments(steps, index));
        }
    }
}

std::shared_ptr<ParametersCollection> Shell::convertArguments(const std::vector<Step>& steps,
                                                              std::size_t index) {
    const Step& step = steps[index];
    std::vector<Argument> arguments = step.arguments;
    std::vector<std::string> names(arguments.size());  // from the signature, for messages
    const bool untyped = std::any_of(arguments.begin(), arguments.end(),
                                     [](const Argument& a) { return a.type.empty(); });
    const bool allNamed = std::all_of(arguments.begin(), arguments.end(),
                                      [](const Argument& a) { return !a.name.empty(); });
    auto label = [&](std::size_t k) {
        const std::string& name = arguments[k].name.empty() ? names[k] : arguments[k].name;
        return "argument " + (name.empty() ? std::to_string(k + 1) : "'" + name + "'") + " of " +
               step.name;
    };
    auto firstUntyped = [&] {
        std::size_t k = 0;
        while (!arguments[k].type.empty()) {
            ++k;
        }
        return k;
    };

    if (index == 0) {  // UnifiedBusinessObject(<guid>)
        for (Argument& argument : arguments) {
            if (argument.type.empty()) {
                argument.type = "string";
            }
        }
    } else if (untyped || allNamed) {
        std::string why;
        const auto reflector = reflectorBefore(steps, index, why);
        if (!reflector) {
            if (untyped) {
                throw Failure{label(firstUntyped()) + ": give its type; " + why};
            }
        } else if (const auto property = addressedProperty(*reflector, step.name)) {
            for (Argument& argument : arguments) {
                if (argument.type.empty()) {
                    argument.type = property->getType();
                }
            }
        } else {
            const auto overloads = reflector->Methods()->getOverloads(step.name);
            if (overloads.empty() && untyped) {
                throw Failure{label(firstUntyped()) + ": give its type; " + quote(step.name) +
                              " is neither a method nor a property of " +
                              reflector->getInterfaceName()};
            }
            // The overloads that fit the count and every given name.
            std::vector<std::vector<std::pair<std::string, std::string>>> fitting;
            for (const auto& overload : overloads) {
                auto signature = parseSignature(overload->getParameters());
                if (signature.size() != arguments.size()) {
                    continue;
                }
                const bool namesFit =
                    std::all_of(arguments.begin(), arguments.end(), [&](const Argument& a) {
                        return a.name.empty() ||
                               std::any_of(signature.begin(), signature.end(),
                                           [&](const auto& p) { return p.second == a.name; });
                    });
                if (namesFit) {
                    fitting.push_back(std::move(signature));
                }
            }
            if (fitting.empty() && untyped) {
                throw Failure{label(firstUntyped()) + ": give its type; no overload of " +
                              step.name + " takes " +
                              (allNamed ? "these argument names"
                                        : std::to_string(arguments.size()) + " argument" +
                                              (arguments.size() == 1 ? "" : "s"))};
            }
            auto position = [&](const std::vector<std::pair<std::string, std::string>>& sig,
                                std::size_t k) {
                if (arguments[k].name.empty()) {
                    return k;
                }
                std::size_t at = 0;
                while (sig[at].second != arguments[k].name) {
                    ++at;
                }
                return at;
            };
            for (std::size_t k = 0; k < arguments.size() && !fitting.empty(); ++k) {
                std::set<std::string> types;
                std::set<std::string> declaredNames;
                for (const auto& signature : fitting) {
                    types.insert(signature[position(signature, k)].first);
                    declaredNames.insert(signature[position(signature, k)].second);
                }
                if (declaredNames.size() == 1) {
                    names[k] = *declaredNames.begin();
                }
                if (!arguments[k].type.empty()) {
                    continue;
                }
                if (types.size() != 1) {
                    std::string list;
                    for (const std::string& type : types) {
                        list += (list.empty() ? "" : " or ") + type;
                    }
                    throw Failure{label(k) + ": give its type; the overloads take " + list};
                }
                arguments[k].type = *types.begin();
            }
            // Named arguments go where the one fitting signature wants them.
            if (allNamed && fitting.size() == 1) {
                std::vector<Argument> ordered(arguments.size());
                std::vector<std::string> orderedNames(arguments.size());
                for (std::size_t k = 0; k < arguments.size(); ++k) {
                    const std::size_t at = position(fitting.front(), k);
                    ordered[at] = arguments[k];
                    orderedNames[at] = names[k];
                }
                arguments.swap(ordered);
                names.swap(orderedNames);
            }
        }
    }

    auto collection = std::make_shared<ParametersCollection>();
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const Argument& argument = arguments[k];
        std::string name = argument.name.empty() ? names[k] : argument.name;
        if (name.empty()) {
            name = "arg" + std::to_string(k + 1);
        }
        auto parameter =
            GetFormalParameterFromStrings(argument.type, name, argument.value, objects_, nullptr);
        if (!parameter) {
            throw Failure{label(k) + ": " + conversionProblem(argument.type, argument.value)};
        }
        collection->push_back(parameter);
    }
    return collection;
}

std::shared_ptr<Reflector> Shell::startReflector(const Step& start, std::string& why) {
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
            why = "no service is named " + quote(start.name);
        }
        return reflector;
    }
    const auto found = objects_->find(guid);
    if (found == objects_->end()) {
        why = "no business object has GUID " + quote(guid);
        return nullptr;
    }
    auto reflector = interpreter_.findScriptableRefectorByUnifiedBusinessObject(found->second);
    if (!reflector) {
        why = "the object with GUID " + quote(guid) + " has no reflector";
    }
    return reflector;
}

std::shared_ptr<Reflector> Shell::reflectorBefore(const std::vector<Step>& steps, std::size_t index,
                                                  std::string& why) {
    // Reading properties has no side effects, so the shell may walk them to learn a type; it
    // never calls a method for that.
    std::shared_ptr<Reflector> reflector = startReflector(steps.front(), why);
    for (std::size_t j = 1; j < index && reflector; ++j) {
        const Step& step = steps[j];
        const auto property =
            step.arguments.empty() ? addressedProperty(*reflector, step.name) : nullptr;
        if (!property) {
            why = "the shell looks up signatures only along property reads, and '" + step.name +
                  "' is not one";
            return nullptr;
        }
        const auto value = property->getValue();
        reflector = value ? value->getReflector() : nullptr;
        if (!reflector) {
            why = "'" + step.name + "' is not an object";
        }
    }
    return reflector;
}

std::string Shell::valueText(const std::shared_ptr<ReturnValue>& value) const {
    if (!value) {
        return "";
    }
    const std::string type = value->getReturnType();
    if (type == "void") {
        return "";
    }
    if (!options_.reveal && isSecretType(type)) {
        return kMask;
    }
    return GetReturnValueAsString(value);
}

void Shell::remember(const std::shared_ptr<ReturnValue>& value) {
    if (auto object = std::dynamic_pointer_cast<ObjectReturnValue>(value)) {
        if (auto target = object->getObject()) {
            (*objects_)[target->getGuid()] = target;
        }
    }
}

void Shell::printResult(const std::string& request, const std::shared_ptr<ReturnValue>& value) {
    const std::string type = value ? value->getReturnType() : "";
    const std::string text = valueText(value);
    if (options_.json) {
        JsonObject json;
        json.add("request", request).add("ok", true);
        if (value) {
            json.add("type", type).add("value", text);
        } else {
            json.addNull("type").addNull("value");
        }
        if (auto object = std::dynamic_pointer_cast<ObjectReturnValue>(value)) {
            if (object->getObject()) {
                json.add("guid", object->getObject()->getGuid());
            }
        }
        out_ << json.str() << std::endl;
        return;
    }
    if (value && type != "void") {
        out_ << text << std::endl;
    }
}

void Shell::printNotification(const std::string& label, const PropertyValueFetcher& fetcher,
                              const std::vector<std::string>& change) {
    std::shared_ptr<ReturnValue> value;
    try {
        value = fetcher();
    } catch (...) {
        // The notifying code must not see the reader's failure.
        fail("watch " + label, "reading " + label + " for its notification failed");
        return;
    }
    if (options_.json) {
        JsonObject json;
        json.add("watch", label)
            .add("type", value ? value->getReturnType() : "")
            .add("value", valueText(value));
        if (!change.empty()) {
            json.addRaw("change", "[" + join(change, ",") + "]");
        }
        out_ << json.str() << std::endl;
        return;
    }
    out_ << label << " = " << valueText(value);
    if (!change.empty()) {
        out_ << " (change: " << join(change, ", ") << ")";
    }
    out_ << std::endl;
}

void Shell::printOutput(const std::string& command, const std::vector<std::string>& lines) {
    if (options_.json) {
        std::string array;
        for (const std::string& line : lines) {
            array += (array.empty() ? "" : ",") + jsonString(line);
        }
        out_ << JsonObject()
                    .add("command", command)
                    .add("ok", true)
                    .addRaw("output", "[" + array + "]")
                    .str()
             << std::endl;
        return;
    }
    for (const std::string& line : lines) {
        out_ << line << '\n';
    }
    out_ << std::flush;
}

bool Shell::fail(const std::string& line, const std::string& message) {
    std::string why;
    why.swap(why_);
    if (options_.json) {
        JsonObject json;
        json.add(kind_, line).add("ok", false).add("error", message);
        if (!why.empty()) {
            json.add("why", why);
        }
        out_ << json.str() << std::endl;
    } else {
        out_ << std::flush;
        const std::string where = where_.empty() ? std::string("error") : where_;
        err_ << where << ": " << message << std::endl;
        if (!why.empty()) {
            err_ << where << ": why: " << why << std::endl;
        }
    }
    return false;
}

// --- commands ---------------------------------------------------------------------------------

bool Shell::help(const std::string&, const std::string& line) {
    printOutput(
        line,
        {"Requests: a path of steps separated by '/', each step a name with optional arguments:",
         "  HelloWorldService/Greeting                      read a property",
         "  HelloWorldService/Greeting(\"Hi\")                write it",
         "  HelloWorldService/sayHello(string name=\"Ada\")   call a method; the type and the",
         "  HelloWorldService/add(a=1, b=2)                 name may be left out",
         "  HelloWorldService/greetAll(names=\"Ada|Grace\")   lists: '|' between strings, ';'",
         "                                                  between numbers",
         "  HelloWorldService/Owner/Name                    follow a chain to a business object",
         "  @<guid>/Name                                    start at an object a result showed",
         "Commands:",
         "  services                      services known, loaded or not",
         "  libraries                     library records and what they provide",
         "  describe PATH                 properties and methods of a service or object",
         "  watch PATH [as LABEL]         print every change of a property",
         "  unwatch LABEL                 stop watching",
         "  featureset start|stop|status ID",
         "  auth NAME|ID                  look up an authenticator",
         "  monitor                       the resource monitor's counts",
         "  objects                       business objects seen so far, by GUID",
         "  pump [MS]                     run queued dispatcher tasks, for MS milliseconds",
         "  stats [MS COUNT]              dispatcher and background pool statistics",
         "  manifest DIR                  make the library described in DIR known",
         "  help, quit"});
    return true;
}

bool Shell::services(const std::string&, const std::string& line) {
    Table table({"NAME", "TYPE", "ID", "LIBRARY", "LOADED"});
    std::set<std::string> listed;
    const auto registry = unified_->getServiceRegistry();
    auto registered = [&](const std::string& mangled) {
        return registry->getItem<UnifiedService>(mangled) != nullptr;
    };
    if (auto loader = unified_->getLibraryLoader()) {
        for (const LibraryRecord& record : loader->getLibraryRecords()) {
            for (std::size_t i = 0; i < record.serviceNames.size(); ++i) {
                const std::string& mangled = record.serviceNames[i];
                // Names and ids are separate lists; a record usually pairs them one to one.
                const std::string id = record.serviceIds.size() == record.serviceNames.size()
                                           ? std::to_string(record.serviceIds[i])
                                           : "-";
                const std::string type = demangle(mangled);
                table.add({lastComponent(type), type, id, record.name,
                           registered(mangled) ? "yes" : "no"});
                listed.insert(mangled);
            }
        }
    }
    for (const auto& entry : registry->itemsByName()) {
        if (listed.count(entry.first) == 0) {
            const std::string type = demangle(entry.first);
            table.add({lastComponent(type), type, "-", "-", "yes"});
        }
    }
    printOutput(line, table.lines());
    return true;
}

bool Shell::libraries(const std::string&, const std::string& line) {
    std::vector<std::string> lines;
    const auto loader = unified_->getLibraryLoader();
    if (!loader) {
        return fail(line, "the factory has no library loader");
    }
    for (const LibraryStatus& status : loader->getLibraryStatuses()) {
        const LibraryRecord& record = status.record;
        std::string state = "not loaded";
        if (status.state == LibraryStatus::State::Loaded) {
            state = "loaded";
        } else if (status.state == LibraryStatus::State::Failed) {
            state = "failed: " + status.reason;
        }
        lines.push_back(record.name + " (" + state + "): " + record.path);
        std::vector<std::string> provides;
        for (std::size_t i = 0; i < record.serviceNames.size(); ++i) {
            provides.push_back("service " + demangle(record.serviceNames[i]));
        }
        for (unsigned int id : record.serviceIds) {
            provides.push_back("service id " + std::to_string(id));
        }
        for (const std::string& name : record.featureSetNames) {
            provides.push_back("feature set " + demangle(name));
        }
        for (unsigned int id : record.featureSetIds) {
            provides.push_back("feature set id " + std::to_string(id));
        }
        for (const std::string& name : record.authenticatorNames) {
            provides.push_back("authenticator " + name);
        }
        for (unsigned int id : record.authenticatorIds) {
            provides.push_back("authenticator id " + std::to_string(id));
        }
        lines.push_back("  provides " + (provides.empty() ? "nothing" : join(provides, ", ")));
    }
    printOutput(line, lines);
    return true;
}

std::shared_ptr<Reflector> Shell::reflectorAtEnd(const std::string& path) {
    std::vector<Step> steps;
    try {
        steps = parsePath(path);
    } catch (const SyntaxError& error) {
        throw Failure{std::string("syntax error at ") + error.what()};
    }
    resolveStart(steps);
    if (steps.size() == 1) {
        std::string why;
        auto reflector = startReflector(steps.front(), why);
        if (!reflector) {
            throw Failure{why};
        }
        return reflector;
    }
    auto request = std::make_shared<Request>(interpreterPath(steps));
    attachArguments(steps, *request);
    const auto result = interpreter_.execute(request);
    if (!result->isSuccess()) {
        throw Failure{result->getErrorMessage()};
    }
    remember(result->getResult());
    auto reflector = result->getResult() ? result->getResult()->getReflector() : nullptr;
    if (!reflector) {
        throw Failure{"the value of " + path + " is not an object"};
    }
    return reflector;
}

bool Shell::describe(const std::string& arguments, const std::string& line) {
    if (arguments.empty()) {
        return fail(line, "describe needs a path, such as: describe HelloWorldService");
    }
    const auto reflector = reflectorAtEnd(arguments);
    std::vector<std::string> lines{reflector->getInterfaceName()};
    const auto properties = reflector->Properties();
    lines.push_back("properties:");
    Table table({}, "  ");
    for (const std::string& name : properties->getPropertyNames()) {
        const auto property = properties->getProperty(name);
        table.add({name, property->getType(), property->isReadOnly() ? "read-only" : "read/write",
                   propertyKind(property)});
    }
    for (const std::string& row : table.lines()) {
        lines.push_back(row);
    }
    lines.push_back("methods:");
    const auto methods = reflector->Methods();
    std::vector<std::string> names = methods->getMethodNames();
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) {
        for (const auto& overload : methods->getOverloads(name)) {
            lines.push_back("  " + overload->getReturnType() + " " + name + "(" +
                            overload->getParameters() + ")");
        }
    }
    printOutput(line, lines);
    return true;
}

bool Shell::watch(const std::string& arguments, const std::string& line) {
    std::string path = arguments;
    std::string label = arguments;
    const std::size_t as = arguments.rfind(" as ");
    if (as != std::string::npos) {
        path = trim(arguments.substr(0, as));
        label = trim(arguments.substr(as + 4));
    }
    if (path.empty() || label.empty()) {
        return fail(line, "watch needs a path, such as: watch HelloWorldService/Greeting");
    }
    if (watches_.count(label) != 0) {
        return fail(line, "already watching " + label);
    }
    std::vector<Step> steps;
    try {
        steps = parsePath(path);
    } catch (const SyntaxError& error) {
        return fail(line, std::string("syntax error at ") + error.what());
    }
    resolveStart(steps);
    auto basicList = [this](std::string id, PropertyValueFetcher fetcher, bool flag, int a, int b) {
        printNotification(id, fetcher,
                          {flag ? "true" : "false", std::to_string(a), std::to_string(b)});
    };
    auto subscription = std::make_shared<Subscription>(
        interpreterPath(steps), label,
        [this](std::string id, PropertyValueFetcher fetcher) {
            printNotification(id, fetcher, {});
        },
        basicList, basicList,
        [this](std::string id, PropertyValueFetcher fetcher, bool flag, int a, int b, int c) {
            printNotification(
                id, fetcher,
                {flag ? "true" : "false", std::to_string(a), std::to_string(b), std::to_string(c)});
        });
    attachArguments(steps, *subscription);
    const auto result = interpreter_.subscribe(subscription);
    if (!result->isSuccess()) {
        return fail(line, result->getErrorMessage());
    }
    watches_[label] = result->getResult();
    printOutput(line, {"watching " + label});
    return true;
}

bool Shell::unwatch(const std::string& arguments, const std::string& line) {
    const auto found = watches_.find(arguments);
    if (found == watches_.end()) {
        return fail(line, "not watching " + quote(arguments));
    }
    if (auto connection = found->second.lock()) {
        connection->disconnect();
    }
    watches_.erase(found);
    printOutput(line, {"stopped watching " + arguments});
    return true;
}

bool Shell::featureSet(const std::string& arguments, const std::string& line) {
    const std::vector<std::string> words = splitWords(arguments);
    unsigned int id = 0;
    if (words.size() != 2 || !parseId(words[1], id) ||
        (words[0] != "start" && words[0] != "stop" && words[0] != "status")) {
        return fail(line, "usage: featureset start|stop|status ID");
    }
    const std::string name = "feature set " + words[1];
    if (words[0] == "start") {
        unified_->StartFeatureSet(id,
                                  std::make_shared<FeatureSetAdapter::EventsPtr::element_type>());
        if (!unified_->IsFeatureSetStarted(id)) {
            return fail(line,
                        name + " did not start" +
                            (unified_->IsFeatureSetProvisioned(id) ? "" : ": not provisioned"));
        }
        printOutput(line, {name + ": started"});
    } else if (words[0] == "stop") {
        unified_->StopFeatureSet(id,
                                 std::make_shared<FeatureSetAdapter::EventsPtr::element_type>());
        if (unified_->IsFeatureSetStarted(id)) {
            return fail(line, name + " did not stop");
        }
        printOutput(line, {name + ": stopped"});
    } else {
        const bool provisioned = unified_->IsFeatureSetProvisioned(id);
        printOutput(line, {name + ": " + (provisioned ? "provisioned" : "not provisioned") + ", " +
                           (unified_->IsFeatureSetStarted(id) ? "started" : "stopped")});
    }
    return true;
}

bool Shell::authenticator(const std::string& arguments, const std::string& line) {
    if (arguments.empty()) {
        return fail(line, "usage: auth NAME|ID");
    }
    unsigned int id = 0;
    if (!parseId(arguments, id)) {
        id = unified_->getAuthenticatorId(arguments);
        if (id == 0) {
            return fail(line, "no authenticator is named " + quote(arguments));
        }
    }
    if (!unified_->getAuthenticator(id)) {
        return fail(line, "no authenticator has id " + std::to_string(id));
    }
    printOutput(line, {"authenticator " + std::to_string(id) + ": name " +
                       quote(unified_->getAuthenticatorName(id)) + ", display name " +
                       quote(unified_->getAuthenticatorDisplayName(id))});
    return true;
}

bool Shell::monitor(const std::string&, const std::string& line) {
    const auto monitor = unified_->getResourceMonitor();
    if (!monitor) {
        return fail(line, "the factory has no resource monitor");
    }
    std::vector<std::string> lines;
    const struct {
        ResourceNS::MapCountType type;
        const char* title;
    } maps[] = {{ResourceNS::ObjectsAlive, "objects alive"},
                {ResourceNS::ObjectsCreated, "objects created"}};
    for (const auto& map : maps) {
        lines.push_back(std::string(map.title) + ": " +
                        std::to_string(monitor->getNumObjects(map.type)));
        for (const std::string& entry : splitLines(monitor->buildString(map.type))) {
            lines.push_back("  " + entry);
        }
    }
    printOutput(line, lines);
    return true;
}

bool Shell::objects(const std::string&, const std::string& line) {
    Table table({}, "  ");
    for (const auto& entry : *objects_) {
        table.add({entry.first, entry.second->getInterfaceName()});
    }
    printOutput(line, table.lines());
    return true;
}

namespace {

std::string milliseconds(std::chrono::microseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

}  // namespace

std::vector<std::string> Shell::statisticsLines() {
    std::vector<std::string> lines;
    const auto dispatcher = unified_->getServicesDispatcher()->getStatistics();
    lines.push_back("dispatcher: " + std::to_string(dispatcher.queueSize) + " queued" +
                    (dispatcher.queueSize > 0
                         ? " (the first for " + milliseconds(dispatcher.frontTaskWait) + ")"
                         : "") +
                    (dispatcher.runningTaskName.empty()
                         ? ", idle"
                         : ", running " + dispatcher.runningTaskName + " for " +
                               milliseconds(dispatcher.runningFor)));
    lines.push_back(
        "  tasks run " + std::to_string(dispatcher.tasksRun) + ", over the guard time " +
        std::to_string(dispatcher.tasksOverGuardTime) + ", longest execution " +
        milliseconds(dispatcher.longestExecution) + ", longest wait " +
        milliseconds(dispatcher.longestWait) + ", last completion " +
        (dispatcher.anyTaskCompleted ? milliseconds(dispatcher.sinceLastCompletion) + " ago"
                                     : std::string("never")));
    const auto pool = unified_->getBackgroundDispatcher()->getStatistics();
    lines.push_back("background pool: " + std::to_string(pool.threadsAlive) + " threads alive, " +
                    std::to_string(pool.threadsBusy) + " busy, queued " +
                    std::to_string(pool.urgentQueued) + " urgent and " +
                    std::to_string(pool.normalQueued) + " normal, tasks run " +
                    std::to_string(pool.tasksRun));
    return lines;
}

bool Shell::stats(const std::string& arguments, const std::string& line) {
    // "stats" once; "stats MS COUNT" COUNT times, MS apart, pumping in between.
    const std::vector<std::string> words = splitWords(arguments);
    unsigned int interval = 0;
    unsigned int count = 1;
    if (!(words.empty() ||
          (words.size() == 2 && parseId(words[0], interval) && parseId(words[1], count)))) {
        return fail(line, "usage: stats [MILLISECONDS COUNT]");
    }
    for (unsigned int i = 0; i < count; ++i) {
        if (i > 0) {
            pumpFor(std::chrono::milliseconds(interval));
        }
        printOutput(line, statisticsLines());
    }
    return true;
}

bool Shell::pumpCommand(const std::string& arguments, const std::string& line) {
    unsigned int milliseconds = 0;
    if (!arguments.empty() && !parseId(arguments, milliseconds)) {
        return fail(line, "usage: pump [MILLISECONDS]");
    }
    pumpFor(std::chrono::milliseconds(milliseconds));
    return true;
}

bool Shell::manifest(const std::string& arguments, const std::string& line) {
    const std::string name = addManifest(arguments);
    printOutput(line, {"library " + name + " is known"});
    return true;
}

bool Shell::quitCommand(const std::string&, const std::string&) {
    quit_ = true;
    return true;
}

std::string Shell::addManifest(const std::string& directory) {
    namespace fs = std::filesystem;
    if (directory.empty()) {
        throw Failure{"manifest needs a directory"};
    }
    const fs::path folder = fs::absolute(directory).lexically_normal();
    const fs::path base = folder.has_filename() ? folder : folder.parent_path();
    const fs::path file = base / (base.filename().string() + ".xml");
    if (!fs::is_regular_file(file)) {
        throw Failure{"no manifest file " + file.string()};
    }
    const auto loader = unified_->getLibraryLoader();
    if (!loader) {
        throw Failure{"the factory has no library loader"};
    }
    const std::size_t before = loader->getLibraryRecords().size();
    loader->LoadLibraryManifest(base.string());
    const auto records = loader->getLibraryRecords();
    if (records.size() == before) {
        throw Failure{"the manifest " + file.string() + " added no library"};
    }
    return records.back().name;
}

bool Shell::loadManifest(const std::string& directory) {
    kind_ = "command";
    return guarded("manifest " + directory, [&] {
        addManifest(directory);
        return true;
    });
}

}  // namespace svcsh
