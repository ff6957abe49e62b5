#include <ZAMUnified/ConsoleApi.h>

#include <ZAMUnified/FactoryReports.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/RequestSyntax.h>
#include <ZAMUnified/ResourceMonitor.h>
#include <ZAMUnified/TextJson.h>
#include <ZAMUnified/UnifiedException.h>

#include <KORCoreUtils.h>
#include <cxxabi.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <typeinfo>
#include <utility>

#include "detail/Target.h"

namespace ZAMUnified {

namespace {

using Json = nlohmann::ordered_json;
using Kind = ConsoleCall::Kind;

std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

ConsoleAnswer ok(const Json& json) {
    return {200, dumped(json)};
}

int statusOf(const TextResult& result) {
    switch (result.failure) {
        case TextResult::Failure::None:
            return 200;
        case TextResult::Failure::Request:
            return 400;
        case TextResult::Failure::Exception:
            return 500;
        case TextResult::Failure::Refused:
            break;
    }
    return 422;
}

std::string demangled(const char* mangled) {
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string text = status == 0 && plain != nullptr ? plain : mangled;
    std::free(plain);
    return text;
}

bool parseId(const std::string& text, unsigned int& id) {
    try {
        id = KORCoreUtils::toUnsignedInt(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Whether a library record lists the id or the name (case-blind) among its authenticators, or
// one is registered: asking the factory for anything else only logs that nothing has it.
bool knowsAuthenticator(UnifiedFactory& factory, unsigned int id, const std::string& name) {
    auto same = [&](unsigned int otherId, const std::string& otherName) {
        return name.empty() ? otherId == id
                            : KORCoreUtils::caseInsensitiveStringEquals(otherName, name);
    };
    for (const auto& entry : factory.getRegisteredAuthenticators()) {
        if (same(entry.first, entry.second)) {
            return true;
        }
    }
    if (const auto loader = factory.getLibraryLoader()) {
        for (const LibraryRecord& record : loader->getLibraryRecords()) {
            for (unsigned int listed : record.authenticatorIds) {
                if (name.empty() && listed == id) {
                    return true;
                }
            }
            for (const std::string& listed : record.authenticatorNames) {
                if (!name.empty() && same(0, listed)) {
                    return true;
                }
            }
        }
    }
    return false;
}

bool knowsFeatureSet(UnifiedFactory& factory, unsigned int id) {
    if (factory.getFeatureSetRegistry()->getItem<FeatureSet>(id)) {
        return true;
    }
    if (const auto loader = factory.getLibraryLoader()) {
        for (const LibraryRecord& record : loader->getLibraryRecords()) {
            for (unsigned int listed : record.featureSetIds) {
                if (listed == id) {
                    return true;
                }
            }
        }
    }
    return false;
}

Json featureSetState(UnifiedFactory& factory, unsigned int id) {
    return Json{{"id", id},
                {"provisioned", factory.IsFeatureSetProvisioned(id)},
                {"started", factory.IsFeatureSetStarted(id)}};
}

// The body of POST /v1/run: {"line": TEXT}.
bool decodeRunBody(const std::string& body, std::string& line, ConsoleAnswer& refusal) {
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_discarded()) {
        refusal = ConsoleApi::failure(400, "the body is not JSON; send {\"line\": \"...\"}");
        return false;
    }
    if (!json.is_object() || !json.contains("line") || !json["line"].is_string()) {
        refusal = ConsoleApi::failure(400,
                                      "the body needs a string \"line\", such as "
                                      "{\"line\": \"HelloWorldService/Greeting\"}");
        return false;
    }
    line = json["line"].get<std::string>();
    return true;
}

}  // namespace

ConsoleApi::ConsoleApi(std::shared_ptr<UnifiedFactory> factory, TextOptions options)
    : factory_(factory), text_(std::move(factory), options) {}

ConsoleApi::~ConsoleApi() = default;

ConsoleAnswer ConsoleApi::failure(int status, const std::string& message, const std::string& why) {
    Json json{{"ok", false}, {"error", message}};
    if (!why.empty()) {
        json["why"] = why;
    }
    return {status, dumped(json)};
}

bool ConsoleApi::decode(const std::string& method, const std::string& target,
                        const std::string& body, ConsoleCall& call, ConsoleAnswer& refusal) {
    detail::Target parts;
    std::string problem;
    if (!detail::decodeTarget(target, parts, problem)) {
        refusal = failure(400, problem);
        return false;
    }
    const std::vector<std::string>& s = parts.segments;
    const std::string path = target.substr(0, target.find('?'));
    call = ConsoleCall();
    // Which method each resource takes: GET reads, POST changes something.
    std::string allowed = "GET";
    auto found = [&](Kind kind, bool readOnly = true) {
        call.kind = kind;
        call.readOnly = readOnly;
        allowed = readOnly ? "GET" : "POST";
        return true;
    };
    const bool known = [&] {
        if (s.size() < 2 || s[0] != "v1") {
            return false;
        }
        const std::string& name = s[1];
        if (s.size() == 2) {
            static const std::pair<const char*, Kind> kPlain[] = {
                {"status", Kind::Status},
                {"services", Kind::Services},
                {"libraries", Kind::Libraries},
                {"describe", Kind::Describe},
                {"authenticators", Kind::Authenticators},
                {"featuresets", Kind::FeatureSets},
                {"objects", Kind::Objects},
                {"monitor", Kind::Monitor},
                {"stats", Kind::Statistics}};
            if (name == "run") {
                return found(Kind::Run, false);
            }
            for (const auto& entry : kPlain) {
                if (name == entry.first) {
                    return found(entry.second);
                }
            }
            return false;
        }
        if (name == "authenticators" && s.size() == 3) {
            call.text = s[2];
            return found(Kind::Authenticator);
        }
        if (name == "featuresets" && (s.size() == 3 || s.size() == 4)) {
            call.text = s[2];
            call.action = s.size() == 3 ? "status" : s[3];
            return (call.action == "status" && s.size() == 3) || call.action == "start" ||
                           call.action == "stop"
                       ? found(Kind::FeatureSet, s.size() == 3)
                       : false;
        }
        return false;
    }();
    if (!known) {
        refusal = failure(404, "no such resource: " + path);
        return false;
    }
    if (method != allowed) {
        refusal = failure(405, method + " is not allowed on " + path + "; use " + allowed);
        return false;
    }
    switch (call.kind) {
        case Kind::Run:
            return decodeRunBody(body, call.text, refusal);
        case Kind::Describe: {
            const auto given = parts.query.find("path");
            if (given == parts.query.end() || given->second.empty()) {
                refusal = failure(400,
                                  "describe needs a path, such as "
                                  "/v1/describe?path=HelloWorldService");
                return false;
            }
            call.text = given->second;
            return true;
        }
        case Kind::FeatureSet:
            if (!parseId(call.text, call.id)) {
                refusal = failure(
                    400, "a feature set id is a number, not " + RequestSyntax::quote(call.text));
                return false;
            }
            return true;
        default:
            return true;
    }
}

std::string ConsoleApi::encodeComponent(const std::string& text) {
    return detail::percentEncode(text);
}

ConsoleAnswer ConsoleApi::handle(const std::string& method, const std::string& target,
                                 const std::string& body) {
    ConsoleCall call;
    ConsoleAnswer refusal;
    if (!decode(method, target, body, call, refusal)) {
        return refusal;
    }
    return execute(call);
}

ConsoleAnswer ConsoleApi::execute(const ConsoleCall& call) {
    // Service code runs inside (a library loading, a feature set starting); whatever it throws
    // is answered and the host carries on.
    try {
        switch (call.kind) {
            case Kind::Run:
                return run(call.text);
            case Kind::Services:
                return {200, TextJson::services(reportServices(*factory_))};
            case Kind::Libraries:
                if (!factory_->getLibraryLoader()) {
                    return failure(422, "the factory has no library loader");
                }
                return {200, TextJson::libraries(reportLibraries(*factory_))};
            case Kind::Describe:
                return describe(call.text);
            case Kind::Authenticators:
                return authenticators();
            case Kind::Authenticator:
                return authenticator(call.text);
            case Kind::FeatureSets:
                return featureSets();
            case Kind::FeatureSet:
                return featureSet(call);
            case Kind::Objects:
                return objects();
            case Kind::Monitor:
                return monitor();
            case Kind::Statistics:
                return {200, TextJson::statistics(reportStatistics(*factory_))};
            case Kind::Status:
                break;
        }
        return failure(404, "the status is answered by the console's server");
    } catch (UnifiedException& error) {
        return failure(500, "exception " + error.getInterfaceName() + ": " + error.getMessage());
    } catch (const std::exception& error) {
        return failure(500, "exception " + demangled(typeid(error).name()) + ": " + error.what());
    } catch (...) {
        return failure(500, "exception of a type that is not a std::exception");
    }
}

ConsoleAnswer ConsoleApi::run(const std::string& line) {
    const TextResult result = text_.run(line);
    return {statusOf(result), TextJson::result("request", line, result), result.carriedSecret};
}

ConsoleAnswer ConsoleApi::describe(const std::string& path) {
    ObjectDescription description;
    const TextResult result = text_.describe(path, description);
    if (!result.ok) {
        return failure(statusOf(result), result.error, result.why);
    }
    return {200, TextJson::description(description)};
}

ConsoleAnswer ConsoleApi::authenticators() {
    Json list = Json::array();
    for (const auto& entry : factory_->getRegisteredAuthenticators()) {
        list.push_back(Json{{"id", entry.first},
                            {"name", entry.second},
                            {"displayName", factory_->getAuthenticatorDisplayName(entry.first)}});
    }
    return ok(list);
}

ConsoleAnswer ConsoleApi::authenticator(const std::string& nameOrId) {
    unsigned int id = 0;
    if (!parseId(nameOrId, id)) {
        if (!knowsAuthenticator(*factory_, 0, nameOrId) ||
            (id = factory_->getAuthenticatorId(nameOrId)) == 0) {
            return failure(404, "no authenticator is named " + RequestSyntax::quote(nameOrId));
        }
    }
    if (!knowsAuthenticator(*factory_, id, "") || !factory_->getAuthenticator(id)) {
        return failure(404, "no authenticator has id " + std::to_string(id));
    }
    return ok(Json{{"id", id},
                   {"name", factory_->getAuthenticatorName(id)},
                   {"displayName", factory_->getAuthenticatorDisplayName(id)}});
}

ConsoleAnswer ConsoleApi::featureSets() {
    Json list = Json::array();
    for (const auto& entry : factory_->getFeatureSetRegistry()->itemsById()) {
        list.push_back(featureSetState(*factory_, entry.first));
    }
    return ok(list);
}

ConsoleAnswer ConsoleApi::featureSet(const ConsoleCall& call) {
    // Named as the caller wrote the id.
    const unsigned int id = call.id;
    const std::string& action = call.action;
    const std::string name = "feature set " + call.text;
    if (!knowsFeatureSet(*factory_, id)) {
        return failure(404, "no feature set has id " + call.text +
                                ": none is registered and no library record lists it");
    }
    if (action == "start") {
        factory_->StartFeatureSet(id,
                                  std::make_shared<FeatureSetAdapter::EventsPtr::element_type>());
        if (!factory_->IsFeatureSetStarted(id)) {
            return failure(422,
                           name + " did not start" +
                               (factory_->IsFeatureSetProvisioned(id) ? "" : ": not provisioned"));
        }
    } else if (action == "stop") {
        factory_->StopFeatureSet(id,
                                 std::make_shared<FeatureSetAdapter::EventsPtr::element_type>());
        if (factory_->IsFeatureSetStarted(id)) {
            return failure(422, name + " did not stop");
        }
    }
    return ok(featureSetState(*factory_, id));
}

ConsoleAnswer ConsoleApi::monitor() {
    const auto monitor = factory_->getResourceMonitor();
    if (!monitor) {
        return failure(422, "the factory has no resource monitor");
    }
    Json json = Json::object();
    const struct {
        ResourceNS::MapCountType type;
        const char* key;
    } maps[] = {{ResourceNS::ObjectsAlive, "objectsAlive"},
                {ResourceNS::ObjectsCreated, "objectsCreated"}};
    for (const auto& map : maps) {
        Json entries = Json::array();
        const std::string text = monitor->buildString(map.type);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            entries.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        json[map.key] = Json{{"count", monitor->getNumObjects(map.type)}, {"entries", entries}};
    }
    return ok(json);
}

ConsoleAnswer ConsoleApi::objects() {
    Json list = Json::array();
    for (const auto& entry : text_.objects()) {
        list.push_back(
            Json{{"guid", entry.first}, {"interface", entry.second->getInterfaceName()}});
    }
    return ok(list);
}

ConsoleAnswer ConsoleApi::watch(const std::string& path, const std::string& label,
                                EventCallback event, const std::string& key) {
    const TextResult result =
        text_.watch(path, key.empty() ? label : key,
                    [label, event = std::move(event)](const std::string&, const TextResult& value,
                                                      const PropertyChange& change) {
                        event(TextJson::notification(label, value, change));
                    });
    if (!result.ok) {
        return failure(statusOf(result), result.error, result.why);
    }
    return ok(Json{{"ok", true}, {"watch", label}});
}

ConsoleAnswer ConsoleApi::unwatch(const std::string& label) {
    const TextResult result = text_.unwatch(label);
    if (!result.ok) {
        return failure(404, result.error);
    }
    return ok(Json{{"ok", true}, {"unwatch", label}});
}

}  // namespace ZAMUnified
