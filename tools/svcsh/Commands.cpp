// The shell's commands: each gets the text after its name and the whole line, prints through
// Output, and answers false (or throws Shell::Failure) when it fails.
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <utility>

#include "Interrupt.h"
#include "PluginCheck.h"
#include "Shell.h"
#include "Text.h"

namespace svcsh {

using namespace ZAMUnified;

namespace {

bool parseNumber(const std::string& text, unsigned int& value) {
    try {
        value = KORCoreUtils::toUnsignedInt(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string milliseconds(std::chrono::microseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", static_cast<double>(duration.count()) / 1000.0);
    return text;
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

std::vector<std::string> statisticsLines(const StatisticsReport& report) {
    const auto& dispatcher = report.dispatcher;
    const auto& pool = report.backgroundPool;
    std::vector<std::string> lines;
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
    lines.push_back("background pool: " + std::to_string(pool.threadsAlive) + " threads alive, " +
                    std::to_string(pool.threadsBusy) + " busy, queued " +
                    std::to_string(pool.urgentQueued) + " urgent and " +
                    std::to_string(pool.normalQueued) + " normal, tasks run " +
                    std::to_string(pool.tasksRun));
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

bool Shell::services(const std::string&, const std::string& line) {
    const std::vector<ServiceReport> reports = reportServices(*unified_);
    Table table({"NAME", "TYPE", "ID", "LIBRARY", "LOADED"});
    for (const ServiceReport& service : reports) {
        table.add({service.name, service.type, service.hasId ? std::to_string(service.id) : "-",
                   service.library.empty() ? "-" : service.library,
                   service.loaded      ? "yes"
                   : service.installed ? "no"
                                       : "not installed"});
    }
    output_.structured(line, table.lines(), "services", TextJson::services(reports));
    return true;
}

bool Shell::libraries(const std::string&, const std::string& line) {
    if (!unified_->getLibraryLoader()) {
        return fail(line, "the factory has no library loader");
    }
    const std::vector<LibraryReport> reports = reportLibraries(*unified_);
    std::vector<std::string> lines;
    for (const LibraryReport& library : reports) {
        const std::string state =
            library.state == "failed" ? "failed: " + library.reason : library.state;
        lines.push_back(library.name + " (" + state + "): " + library.path);
        std::vector<std::string> provides;
        for (const std::string& name : library.services) {
            provides.push_back("service " + name);
        }
        for (unsigned int id : library.serviceIds) {
            provides.push_back("service id " + std::to_string(id));
        }
        for (const std::string& name : library.featureSets) {
            provides.push_back("feature set " + name);
        }
        for (unsigned int id : library.featureSetIds) {
            provides.push_back("feature set id " + std::to_string(id));
        }
        for (const std::string& name : library.authenticators) {
            provides.push_back("authenticator " + name);
        }
        for (unsigned int id : library.authenticatorIds) {
            provides.push_back("authenticator id " + std::to_string(id));
        }
        lines.push_back("  provides " + (provides.empty() ? "nothing" : join(provides, ", ")));
    }
    output_.structured(line, lines, "libraries", TextJson::libraries(reports));
    return true;
}

bool Shell::describe(const std::string& arguments, const std::string& line) {
    if (arguments.empty()) {
        return fail(line, "describe needs a path, such as: describe HelloWorldService");
    }
    ObjectDescription description;
    const TextResult result = text_.describe(arguments, description);
    if (!result.ok) {
        return output_.failure(kind_, line, result.error, result.why);
    }
    std::vector<std::string> lines;
    if (!description.member.empty()) {
        lines.push_back(arguments + ": " + description.memberKind + " of " +
                        description.interfaceName);
    } else {
        lines = {description.interfaceName, "properties:"};
    }
    Table table({}, "  ");
    for (const auto& property : description.properties) {
        table.add({property.name, property.type, property.readOnly ? "read-only" : "read/write",
                   property.kind, property.watchable ? "watchable" : "not watchable"});
    }
    for (const std::string& row : table.lines()) {
        lines.push_back(row);
    }
    if (description.member.empty()) {
        lines.push_back("methods:");
    }
    for (const auto& method : description.methods) {
        lines.push_back("  " + method.returnType + " " + method.name + "(" + method.parameters +
                        ")");
    }
    output_.structured(line, lines, "describe", TextJson::description(description));
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
    const TextResult result = text_.watch(
        path, label,
        [this](const std::string& id, const TextResult& value, const PropertyChange& change) {
            output_.notification(id, value, change);
        });
    if (!result.ok) {
        return output_.failure(kind_, line, result.error, result.why);
    }
    output_.lines(line, {"watching " + label});
    return true;
}

bool Shell::unwatch(const std::string& arguments, const std::string& line) {
    const TextResult result = text_.unwatch(arguments);
    if (!result.ok) {
        return fail(line, result.error);
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
    if (!knowsFeatureSet(*unified_, id)) {
        return fail(line, "no feature set has id " + words[1] +
                              ": none is registered and no library record lists it");
    }
    if (words[0] == "start") {
        unified_->StartFeatureSet(id,
                                  std::make_shared<FeatureSetAdapter::EventsPtr::element_type>());
        if (!unified_->IsFeatureSetStarted(id)) {
            return fail(line,
                        name + " did not start" +
                            (unified_->IsFeatureSetProvisioned(id) ? "" : ": not provisioned"));
        }
        output_.lines(line, {name + ": started"});
    } else if (words[0] == "stop") {
        unified_->StopFeatureSet(id,
                                 std::make_shared<FeatureSetAdapter::EventsPtr::element_type>());
        if (unified_->IsFeatureSetStarted(id)) {
            return fail(line, name + " did not stop");
        }
        output_.lines(line, {name + ": stopped"});
    } else {
        const bool provisioned = unified_->IsFeatureSetProvisioned(id);
        output_.lines(line, {name + ": " + (provisioned ? "provisioned" : "not provisioned") +
                             ", " + (unified_->IsFeatureSetStarted(id) ? "started" : "stopped")});
    }
    return true;
}

bool Shell::authenticator(const std::string& arguments, const std::string& line) {
    if (arguments.empty()) {
        return fail(line, "usage: auth NAME|ID");
    }
    unsigned int id = 0;
    if (!parseNumber(arguments, id)) {
        if (!knowsAuthenticator(*unified_, 0, arguments) ||
            (id = unified_->getAuthenticatorId(arguments)) == 0) {
            return fail(line, "no authenticator is named " + RequestSyntax::quote(arguments));
        }
    }
    if (!knowsAuthenticator(*unified_, id, "") || !unified_->getAuthenticator(id)) {
        return fail(line, "no authenticator has id " + std::to_string(id));
    }
    output_.lines(line,
                  {"authenticator " + std::to_string(id) + ": name " +
                   RequestSyntax::quote(unified_->getAuthenticatorName(id)) + ", display name " +
                   RequestSyntax::quote(unified_->getAuthenticatorDisplayName(id))});
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
    output_.lines(line, lines);
    return true;
}

bool Shell::objects(const std::string&, const std::string& line) {
    Table table({}, "  ");
    for (const auto& entry : text_.objects()) {
        table.add({entry.first, entry.second->getInterfaceName()});
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
        const StatisticsReport report = reportStatistics(*unified_);
        output_.structured(line, statisticsLines(report), "stats", TextJson::statistics(report));
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
    if (!factory_.addLibraryManifest(base.string())) {
        throw Failure{"the manifest " + file.string() + " added no library"};
    }
    return factory_.getLibraryLoader()->getLibraryRecords().back().name;
}

}  // namespace svcsh
