// The shell's commands: each gets the text after its name and the whole line, prints through
// Output, and answers false (or throws Shell::Failure) when it fails.
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "Interrupt.h"
#include "PluginCheck.h"
#include "Shell.h"
#include "Text.h"

namespace svcsh {

using namespace ZAMUnified;

namespace {

using Json = nlohmann::ordered_json;

bool parseNumber(const std::string& text, unsigned int& value) {
    try {
        value = KORCoreUtils::toUnsignedInt(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string milliseconds(const Json& value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", value.is_number() ? value.get<double>() : 0.0);
    return text;
}

std::string textOr(const Json& value, const std::string& otherwise) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return value.is_number() ? value.dump() : otherwise;
}

std::vector<std::string> statisticsLines(const Json& report) {
    const Json& dispatcher = report["dispatcher"];
    const Json& pool = report["backgroundPool"];
    const auto count = [](const Json& value) { return value.dump(); };
    const bool queued = dispatcher["queued"].get<long long>() > 0;
    std::vector<std::string> lines;
    lines.push_back(
        "dispatcher: " + count(dispatcher["queued"]) + " queued" +
        (queued ? " (the first for " + milliseconds(dispatcher["frontTaskWaitMs"]) + ")" : "") +
        (dispatcher["running"].is_null() ? ", idle"
                                         : ", running " + dispatcher["running"].get<std::string>() +
                                               " for " + milliseconds(dispatcher["runningForMs"])));
    lines.push_back("  tasks run " + count(dispatcher["tasksRun"]) + ", over the guard time " +
                    count(dispatcher["tasksOverGuardTime"]) + ", longest execution " +
                    milliseconds(dispatcher["longestExecutionMs"]) + ", longest wait " +
                    milliseconds(dispatcher["longestWaitMs"]) + ", last completion " +
                    (dispatcher["sinceLastCompletionMs"].is_null()
                         ? std::string("never")
                         : milliseconds(dispatcher["sinceLastCompletionMs"]) + " ago"));
    lines.push_back("background pool: " + count(pool["threadsAlive"]) + " threads alive, " +
                    count(pool["threadsBusy"]) + " busy, queued " + count(pool["urgentQueued"]) +
                    " urgent and " + count(pool["normalQueued"]) + " normal, tasks run " +
                    count(pool["tasksRun"]));
    return lines;
}

}  // namespace

bool Shell::help(const std::string&, const std::string& line) {
    output_.lines(
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
         "  check DIR...                  check plug-in directories, as `svcsh check DIR` does",
         "  help, quit",
         "What the figures count, all in this process since it started:",
         "  stats      dispatcher tasks: every request and command of this shell is one, besides",
         "             what services queue; waits run from enqueue to pick-up; the pool is the",
         "             background dispatcher's four threads and the tasks they ran",
         "  monitor    objects that service libraries count themselves, live and ever created;",
         "             the framework counts none of its own",
         "  objects    the business objects that results in this shell have shown"});
    return true;
}

struct Shell::Answer {
    std::string body;  // the JSON text as the host sent it
    Json json;
};

Shell::Answer Shell::call(const std::string& method, const std::string& target,
                          const std::string& body) {
    const ConsoleAnswer answer = host_->call(method, target, body);
    Answer parsed{answer.body, Json::parse(answer.body, nullptr, false)};
    if (answer.status != 200) {
        const Json& json = parsed.json;
        const bool described = json.is_object() && json.contains("error");
        throw Failure{described ? json["error"].get<std::string>() : answer.body,
                      described ? json.value("why", "") : ""};
    }
    return parsed;
}

void Shell::localOnly(const std::string& command, const std::string& why) {
    if (!host_->localFactory()) {
        throw Failure{command + " works in a local shell only: " + why};
    }
}

bool Shell::services(const std::string&, const std::string& line) {
    const Answer answer = call("GET", "/v1/services");
    Table table({"NAME", "TYPE", "ID", "LIBRARY", "LOADED"});
    for (const Json& service : answer.json) {
        table.add({service["name"], service["type"], textOr(service["id"], "-"),
                   textOr(service["library"], "-"),
                   service["loaded"].get<bool>()      ? "yes"
                   : service["installed"].get<bool>() ? "no"
                                                      : "not installed"});
    }
    output_.structured(line, table.lines(), "services", answer.body);
    return true;
}

bool Shell::libraries(const std::string&, const std::string& line) {
    const Answer answer = call("GET", "/v1/libraries");
    static const std::pair<const char*, const char*> kProvides[] = {
        {"services", "service "},
        {"serviceIds", "service id "},
        {"featureSets", "feature set "},
        {"featureSetIds", "feature set id "},
        {"authenticators", "authenticator "},
        {"authenticatorIds", "authenticator id "}};
    std::vector<std::string> lines;
    for (const Json& library : answer.json) {
        const std::string state = library["state"];
        lines.push_back(library["name"].get<std::string>() + " (" +
                        (state == "failed" ? "failed: " + library.value("reason", "") : state) +
                        "): " + library["path"].get<std::string>());
        std::vector<std::string> provides;
        for (const auto& kind : kProvides) {
            for (const Json& entry : library["provides"][kind.first]) {
                provides.push_back(kind.second + textOr(entry, ""));
            }
        }
        lines.push_back("  provides " + (provides.empty() ? "nothing" : join(provides, ", ")));
        std::vector<std::string> versions;
        if (library.contains("version")) {
            versions.push_back("version " + library["version"].get<std::string>());
        }
        if (library.contains("frameworkVersion")) {
            versions.push_back("built against framework interface " +
                               library["frameworkVersion"].get<std::string>());
        }
        if (!versions.empty()) {
            lines.push_back("  " + join(versions, ", "));
        }
    }
    output_.structured(line, lines, "libraries", answer.body);
    return true;
}

bool Shell::describe(const std::string& arguments, const std::string& line) {
    if (arguments.empty()) {
        return fail(line, "describe needs a path, such as: describe HelloWorldService");
    }
    const Answer answer =
        call("GET", "/v1/describe?path=" + ConsoleApi::encodeComponent(arguments));
    const Json& description = answer.json;
    const std::string interface = description["interface"];
    std::vector<std::string> lines;
    if (description.contains("member")) {
        lines.push_back(arguments + ": " + description["memberKind"].get<std::string>() + " of " +
                        interface);
    } else {
        lines = {interface, "properties:"};
    }
    Table table({}, "  ");
    for (const Json& property : description["properties"]) {
        std::vector<std::string> row{
            property["name"], property["type"],
            property["readOnly"].get<bool>() ? "read-only" : "read/write", property["kind"],
            property["watchable"].get<bool>() ? "watchable" : "not watchable"};
        if (property.contains("description")) {
            row.push_back(property["description"]);
        }
        table.add(std::move(row));
    }
    for (const std::string& row : table.lines()) {
        lines.push_back(row);
    }
    if (!description.contains("member")) {
        lines.push_back("methods:");
    }
    for (const Json& method : description["methods"]) {
        lines.push_back("  " + method["returnType"].get<std::string>() + " " +
                        method["name"].get<std::string>() + "(" +
                        method["parameters"].get<std::string>() + ")" +
                        (method.contains("description")
                             ? "  " + method["description"].get<std::string>()
                             : std::string()));
    }
    output_.structured(line, lines, "describe", answer.body);
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
    const ConsoleAnswer answer =
        host_->watch(path, label, [this](const std::string& json) { output_.notification(json); });
    if (answer.status != 200) {
        const Json failure = Json::parse(answer.body, nullptr, false);
        return output_.failure(kind_, line, failure.value("error", answer.body),
                               failure.value("why", ""));
    }
    output_.lines(line, {"watching " + label});
    return true;
}

bool Shell::unwatch(const std::string& arguments, const std::string& line) {
    const ConsoleAnswer answer = host_->unwatch(arguments);
    if (answer.status != 200) {
        return fail(line, Json::parse(answer.body, nullptr, false).value("error", answer.body));
    }
    output_.lines(line, {"stopped watching " + arguments});
    return true;
}

bool Shell::featureSet(const std::string& arguments, const std::string& line) {
    const std::vector<std::string> words = splitWords(arguments);
    unsigned int id = 0;
    if (words.size() != 2 || !parseNumber(words[1], id) ||
        (words[0] != "start" && words[0] != "stop" && words[0] != "status")) {
        return fail(line, "usage: featureset start|stop|status ID");
    }
    const std::string name = "feature set " + words[1];
    const std::string target = "/v1/featuresets/" + ConsoleApi::encodeComponent(words[1]);
    if (words[0] == "status") {
        const Json state = call("GET", target).json;
        output_.lines(
            line,
            {name + ": " + (state["provisioned"].get<bool>() ? "provisioned" : "not provisioned") +
             ", " + (state["started"].get<bool>() ? "started" : "stopped")});
    } else {
        call("POST", target + "/" + words[0]);
        output_.lines(line, {name + (words[0] == "start" ? ": started" : ": stopped")});
    }
    return true;
}

bool Shell::authenticator(const std::string& arguments, const std::string& line) {
    if (arguments.empty()) {
        return fail(line, "usage: auth NAME|ID");
    }
    const Json found =
        call("GET", "/v1/authenticators/" + ConsoleApi::encodeComponent(arguments)).json;
    output_.lines(line,
                  {"authenticator " + found["id"].dump() + ": name " +
                   RequestSyntax::quote(found["name"].get<std::string>()) + ", display name " +
                   RequestSyntax::quote(found["displayName"].get<std::string>())});
    return true;
}

bool Shell::monitor(const std::string&, const std::string& line) {
    const Json counts = call("GET", "/v1/monitor").json;
    std::vector<std::string> lines;
    const std::pair<const char*, const char*> maps[] = {{"objectsAlive", "objects alive"},
                                                        {"objectsCreated", "objects created"}};
    for (const auto& map : maps) {
        const Json& entry = counts[map.first];
        lines.push_back(std::string(map.second) + ": " + entry["count"].dump());
        for (const Json& text : entry["entries"]) {
            lines.push_back("  " + text.get<std::string>());
        }
    }
    output_.lines(line, lines);
    return true;
}

bool Shell::objects(const std::string&, const std::string& line) {
    Table table({}, "  ");
    for (const Json& entry : call("GET", "/v1/objects").json) {
        table.add({entry["guid"], entry["interface"]});
    }
    output_.lines(line, table.lines());
    return true;
}

bool Shell::stats(const std::string& arguments, const std::string& line) {
    // "stats" once; "stats MS COUNT" COUNT times, MS apart, pumping in between.
    const std::vector<std::string> words = splitWords(arguments);
    unsigned int interval = 0;
    unsigned int count = 1;
    if (!(words.empty() ||
          (words.size() == 2 && parseNumber(words[0], interval) && parseNumber(words[1], count)))) {
        return fail(line, "usage: stats [MILLISECONDS COUNT]");
    }
    for (unsigned int i = 0; i < count && !interruptPending(); ++i) {
        if (i > 0) {
            pumpFor(std::chrono::milliseconds(interval));
            if (interruptPending()) {
                break;
            }
        }
        const Answer answer = call("GET", "/v1/stats");
        output_.structured(line, statisticsLines(answer.json), "stats", answer.body);
    }
    return true;
}

bool Shell::check(const std::string& arguments, const std::string& line) {
    const std::vector<std::string> directories = splitWords(arguments);
    if (directories.empty()) {
        return fail(line, "usage: check DIR...");
    }
    bool passed = true;
    std::vector<std::string> lines;
    for (const std::string& directory : directories) {
        std::ostringstream table;
        passed = checkPluginDirectory(directory, table) == kCheckPassed && passed;
        for (std::string& row : splitLines(table.str())) {
            lines.push_back(std::move(row));
        }
    }
    output_.lines(line, lines);
    return passed || fail(line, "check found problems");
}

bool Shell::pumpCommand(const std::string& arguments, const std::string& line) {
    unsigned int milliseconds = 0;
    if (!arguments.empty() && !parseNumber(arguments, milliseconds)) {
        return fail(line, "usage: pump [MILLISECONDS]");
    }
    pumpFor(std::chrono::milliseconds(milliseconds));
    return true;
}

bool Shell::manifest(const std::string& arguments, const std::string& line) {
    localOnly("manifest", "the host at " + host_->remoteEndpoint() + " loads its own libraries");
    const std::string name = addManifest(arguments);
    output_.lines(line, {"library " + name + " is known"});
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
    ServiceFactory& factory = *host_->localFactory();
    if (!factory.addLibraryManifest(base.string())) {
        throw Failure{"the manifest " + file.string() + " added no library"};
    }
    return factory.getLibraryLoader()->getLibraryRecords().back().name;
}

}  // namespace svcsh
