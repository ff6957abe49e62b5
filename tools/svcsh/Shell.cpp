#include "Shell.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <typeinfo>
#include <utility>

#include "Interrupt.h"
#include "Text.h"

namespace svcsh {

using namespace ZAMUnified;

namespace {

std::string demangle(const char* mangled) {
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    if (status != 0 || plain == nullptr) {
        return mangled;
    }
    std::string text(plain);
    std::free(plain);
    return text;
}

}  // namespace

Shell::Shell(std::unique_ptr<Host> host, std::ostream& out, std::ostream& err, Options options)
    : output_(out, err, options.json), host_(std::move(host)) {}

bool Shell::pump() {
    return host_->pump([this](const std::string& failure) { output_.pumpFailure(failure); });
}

void Shell::pumpFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    pump();
    while (!interruptPending()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        // In slices, so that Ctrl-C ends the wait soon.
        host_->wait(std::chrono::milliseconds(std::min<long>(left.count(), 100)));
        pump();
    }
}

std::vector<std::string> Shell::completions(const std::string& typed) {
    const std::size_t wordStart = typed.find_last_of(" \t/(,");
    std::vector<std::string> words;
    // A member of the object the path before the last "/" leads to.
    if (wordStart != std::string::npos && typed[wordStart] == '/') {
        const std::size_t pathStart = typed.find_last_of(" \t", wordStart);
        const std::string path =
            typed.substr(pathStart == std::string::npos ? 0 : pathStart + 1,
                         wordStart - (pathStart == std::string::npos ? 0 : pathStart + 1));
        return host_->memberNames(path);
    }
    // The first word, or a path's first step after a command: commands, then services.
    const bool firstWord = wordStart == std::string::npos;
    if (firstWord) {
        for (const auto& command : commands()) {
            words.push_back(command.first);
        }
    }
    if (firstWord || typed.compare(0, 9, "describe ") == 0 || typed.compare(0, 6, "watch ") == 0) {
        const ConsoleAnswer answer = host_->call("GET", "/v1/services");
        const auto services = nlohmann::json::parse(answer.body, nullptr, false);
        if (answer.status == 200 && services.is_array()) {
            for (const auto& service : services) {
                words.push_back(service.value("name", ""));
            }
        }
    }
    return words;
}

bool Shell::runLine(const std::string& rawLine, const std::string& where) {
    output_.setWhere(where);
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
    bool done = false;
    lastLineCarriedSecret_ = false;
    auto run = [&] {
        if (commands().count(word) != 0) {
            done = runCommand(word, rest, line);
            return;
        }
        kind_ = "request";
        const ConsoleAnswer answer = host_->run(line);
        lastLineCarriedSecret_ = answer.carriedSecret;
        done = output_.answer(kind_, line, answer.body);
    };
    if (word == "pump" || word == "stats") {
        // These pump the dispatcher themselves, for as long as they were asked to.
        run();
    } else {
        // Its text, which may hold a secret, does not name the task.
        host_->runLine(
            run, commands().count(word) != 0 ? "svcsh " + word : std::string("svcsh request"));
    }
    return pump() && done && ok;
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
                                                      {"check", &Shell::check},
                                                      {"manifest", &Shell::manifest},
                                                      {"quit", &Shell::quitCommand},
                                                      {"exit", &Shell::quitCommand}};
    return table;
}

bool Shell::runCommand(const std::string& name, const std::string& arguments,
                       const std::string& line) {
    kind_ = "command";
    const Command command = commands().at(name);
    // Service code may run inside (a feature set starting, an authenticator loading); whatever
    // it throws is reported and the shell carries on.
    try {
        return (this->*command)(arguments, line);
    } catch (const Failure& failure) {
        return output_.failure(kind_, line, failure.message, failure.why);
    } catch (UnifiedException& error) {
        return fail(line, "exception " + error.getInterfaceName() + ": " + error.getMessage());
    } catch (const std::exception& error) {
        return fail(line, "exception " + demangle(typeid(error).name()) + ": " + error.what());
    } catch (...) {
        return fail(line, "exception of a type that is not a std::exception");
    }
}

bool Shell::loadManifest(const std::string& directory) {
    kind_ = "command";
    try {
        addManifest(directory);
        return true;
    } catch (const Failure& failure) {
        return fail("manifest " + directory, failure.message);
    } catch (const std::exception& error) {
        return fail("manifest " + directory, error.what());
    }
}

}  // namespace svcsh
