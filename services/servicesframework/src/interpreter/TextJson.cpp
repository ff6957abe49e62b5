#include <ZAMUnified/TextJson.h>

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace ZAMUnified {
namespace TextJson {

namespace {

// Keys stay in the order they are written, so that a line reads the same every time.
using Json = nlohmann::ordered_json;

std::string dumped(const Json& json) {
    // Bytes that are not UTF-8 (a plug-in's string, a wide string's conversion) must not make
    // the line invalid JSON, nor fail it.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A number's text as a JSON number: an integer stays exact, anything else goes through double;
// text that is not finite ("inf", "nan") has no JSON number and shows as null.
Json number(const std::string& text) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    long long signedValue = 0;
    if (const auto parsed = std::from_chars(begin, end, signedValue);
        parsed.ec == std::errc() && parsed.ptr == end) {
        return signedValue;
    }
    unsigned long long unsignedValue = 0;
    if (const auto parsed = std::from_chars(begin, end, unsignedValue);
        parsed.ec == std::errc() && parsed.ptr == end) {
        return unsignedValue;
    }
    char* stop = nullptr;
    const double value = std::strtod(text.c_str(), &stop);
    if (text.empty() || stop != end || !std::isfinite(value)) {
        return nullptr;
    }
    return value;
}

Json valueJson(const TextValue& value) {
    switch (value.kind) {
        case TextValue::Kind::Null:
            return nullptr;
        case TextValue::Kind::Number:
            return number(value.text);
        case TextValue::Kind::Boolean:
            return value.text == "true";
        case TextValue::Kind::String:
            return value.text;
        case TextValue::Kind::Secret:
            if (value.masked) {
                return Json{{"masked", true}};
            }
            return value.text;
        case TextValue::Kind::List: {
            Json list = Json::array();
            for (const TextValue& element : value.elements) {
                list.push_back(valueJson(element));
            }
            return list;
        }
        case TextValue::Kind::Object:
            return Json{{"interface", value.interfaceName},
                        {"guid", value.guid.empty() ? Json() : Json(value.guid)}};
    }
    return nullptr;
}

void addValue(Json& json, const TextResult& result) {
    if (result.returnValue) {
        json["type"] = result.type;
        json["text"] = result.text;
    } else {
        json["type"] = nullptr;
        json["text"] = nullptr;
    }
    json["value"] = valueJson(result.value);
}

double milliseconds(std::chrono::microseconds duration) {
    return static_cast<double>(duration.count()) / 1000.0;
}

Json names(const std::vector<std::string>& texts) {
    Json list = Json::array();
    for (const std::string& text : texts) {
        list.push_back(text);
    }
    return list;
}

Json ids(const std::vector<unsigned int>& numbers) {
    Json list = Json::array();
    for (unsigned int number : numbers) {
        list.push_back(number);
    }
    return list;
}

}  // namespace

std::string value(const TextValue& value) {
    return dumped(valueJson(value));
}

std::string result(const std::string& key, const std::string& line, const TextResult& result) {
    Json json;
    json[key] = line;
    json["ok"] = result.ok;
    if (!result.ok) {
        json["error"] = result.error;
        if (!result.why.empty()) {
            json["why"] = result.why;
        }
        return dumped(json);
    }
    addValue(json, result);
    return dumped(json);
}

std::string notification(const std::string& label, const TextResult& value,
                         const PropertyChange& change) {
    Json json;
    json["watch"] = label;
    json["ok"] = value.ok;
    if (!value.ok) {
        json["error"] = value.error;
        return dumped(json);
    }
    addValue(json, value);
    if (change.isListChange) {
        Json list = Json::array({change.flag});
        for (int position : change.positions) {
            list.push_back(position);
        }
        json["change"] = list;
    }
    return dumped(json);
}

std::string description(const ObjectDescription& description) {
    Json properties = Json::array();
    // A description only where the member has one, so that members without read as before.
    for (const auto& property : description.properties) {
        Json entry{{"name", property.name},
                   {"type", property.type},
                   {"readOnly", property.readOnly},
                   {"kind", property.kind},
                   {"watchable", property.watchable}};
        if (!property.description.empty()) {
            entry["description"] = property.description;
        }
        properties.push_back(entry);
    }
    Json methods = Json::array();
    for (const auto& method : description.methods) {
        Json entry{{"name", method.name},
                   {"returnType", method.returnType},
                   {"parameters", method.parameters}};
        if (!method.description.empty()) {
            entry["description"] = method.description;
        }
        methods.push_back(entry);
    }
    Json json{{"interface", description.interfaceName}};
    if (!description.member.empty()) {
        json["member"] = description.member;
        json["memberKind"] = description.memberKind;
    }
    json["properties"] = properties;
    json["methods"] = methods;
    return dumped(json);
}

std::string services(const std::vector<ServiceReport>& services) {
    Json list = Json::array();
    for (const ServiceReport& service : services) {
        list.push_back({{"name", service.name},
                        {"type", service.type},
                        {"id", service.hasId ? Json(service.id) : Json()},
                        {"library", service.library.empty() ? Json() : Json(service.library)},
                        {"loaded", service.loaded},
                        {"installed", service.installed}});
    }
    return dumped(list);
}

std::string libraries(const std::vector<LibraryReport>& libraries) {
    Json list = Json::array();
    for (const LibraryReport& library : libraries) {
        Json entry{{"name", library.name}, {"path", library.path}, {"state", library.state}};
        if (library.state == "failed") {
            entry["reason"] = library.reason;
        }
        entry["provides"] = Json{{"services", names(library.services)},
                                 {"serviceIds", ids(library.serviceIds)},
                                 {"featureSets", names(library.featureSets)},
                                 {"featureSetIds", ids(library.featureSetIds)},
                                 {"authenticators", names(library.authenticators)},
                                 {"authenticatorIds", ids(library.authenticatorIds)}};
        // Only when known, so that the lines of libraries without them read as they always did.
        if (!library.version.empty()) {
            entry["version"] = library.version;
        }
        if (!library.frameworkVersion.empty()) {
            entry["frameworkVersion"] = library.frameworkVersion;
        }
        list.push_back(entry);
    }
    return dumped(list);
}

std::string statistics(const StatisticsReport& statistics) {
    const auto& dispatcher = statistics.dispatcher;
    const auto& pool = statistics.backgroundPool;
    const Json running =
        dispatcher.runningTaskName.empty() ? Json() : Json(dispatcher.runningTaskName);
    const Json sinceLast =
        dispatcher.anyTaskCompleted ? Json(milliseconds(dispatcher.sinceLastCompletion)) : Json();
    return dumped(Json{{"dispatcher",
                        {{"queued", dispatcher.queueSize},
                         {"frontTaskWaitMs", milliseconds(dispatcher.frontTaskWait)},
                         {"running", running},
                         {"runningForMs", milliseconds(dispatcher.runningFor)},
                         {"tasksRun", dispatcher.tasksRun},
                         {"tasksOverGuardTime", dispatcher.tasksOverGuardTime},
                         {"longestExecutionMs", milliseconds(dispatcher.longestExecution)},
                         {"longestWaitMs", milliseconds(dispatcher.longestWait)},
                         {"sinceLastCompletionMs", sinceLast}}},
                       {"backgroundPool",
                        {{"threadsAlive", pool.threadsAlive},
                         {"threadsBusy", pool.threadsBusy},
                         {"urgentQueued", pool.urgentQueued},
                         {"normalQueued", pool.normalQueued},
                         {"tasksRun", pool.tasksRun}}}});
}

}  // namespace TextJson
}  // namespace ZAMUnified
