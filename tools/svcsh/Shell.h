// svcsh::Shell: turns lines of text into requests, subscriptions and commands against the
// process-wide service factory, and prints what comes back. The thread that makes the shell is
// the dispatcher thread: every request, every command and every notification runs on it, between
// pumps of the dispatcher.
//
// Threading: one thread only, the dispatcher thread. Failure: runLine() reports every failure
// (syntax, argument conversion, interpreter message, exception from a service) on the error
// stream, or as a JSON object on the output stream with --json, and answers false.
#ifndef SVCSH_SHELL_H
#define SVCSH_SHELL_H

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <ServicesFramework.h>

#include "RequestSyntax.h"

namespace svcsh {

struct Options {
    bool json = false;    // one JSON object per result, failure and notification
    bool reveal = false;  // print secure strings in clear
};

class Shell {
  public:
    // `factory` must already have made this thread its dispatcher thread.
    Shell(ZAMUnified::ServiceFactory& factory, std::shared_ptr<ZAMUnified::UnifiedFactory> unified,
          std::ostream& out, std::ostream& err, Options options);
    // Ends every watch, so no notification reaches a shell that is gone.
    ~Shell();

    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Runs one line (a request, a command, a comment or nothing); false when it failed.
    // `where` prefixes error lines, such as "hello.svc:3"; empty for none.
    bool runLine(const std::string& line, const std::string& where = "");
    // True once a line said "quit" or "exit".
    bool quitRequested() const { return quit_; }

    // Makes the library of a manifest directory (DIR/<name of DIR>.xml) known, as the
    // manifest command does but silently; false (with a message) when it adds no library.
    bool loadManifest(const std::string& directory);

    // Runs every task the dispatcher has queued; false (with a message) when one threw.
    bool pump();
    // Pumps until `duration` has passed, waking as tasks arrive.
    void pumpFor(std::chrono::milliseconds duration);

  private:
    // Every command gets the text after its name and the whole line (for JSON and messages).
    using Command = bool (Shell::*)(const std::string& arguments, const std::string& line);
    struct Failure {
        std::string message;
    };

    static const std::map<std::string, Command>& commands();
    bool runRequest(const std::string& line);
    bool runCommand(const std::string& name, const std::string& arguments, const std::string& line);

    bool help(const std::string& arguments, const std::string& line);
    bool services(const std::string& arguments, const std::string& line);
    bool libraries(const std::string& arguments, const std::string& line);
    bool describe(const std::string& arguments, const std::string& line);
    bool watch(const std::string& arguments, const std::string& line);
    bool unwatch(const std::string& arguments, const std::string& line);
    bool featureSet(const std::string& arguments, const std::string& line);
    bool authenticator(const std::string& arguments, const std::string& line);
    bool monitor(const std::string& arguments, const std::string& line);
    bool objects(const std::string& arguments, const std::string& line);
    bool pumpCommand(const std::string& arguments, const std::string& line);
    bool manifest(const std::string& arguments, const std::string& line);
    bool quitCommand(const std::string& arguments, const std::string& line);
    bool stats(const std::string& arguments, const std::string& line);
    std::vector<std::string> statisticsLines();

    // Runs `body`, turning a Failure or anything service code throws into a failure line.
    bool guarded(const std::string& line, const std::function<bool()>& body);
    std::string addManifest(const std::string& directory);  // the new record's name
    // The factory's key for a service named by id, qualified or mangled type name, or short
    // class name; neither an id nor a name when the text fits no form and no known service has
    // that class name.
    struct ServiceKey {
        bool byId = false;
        unsigned int id = 0;
        std::string mangled;
    };
    ServiceKey serviceKeyFor(const std::string& name);
    // Makes the request's start known to the interpreter, loading its service on demand.
    void resolveStart(const std::vector<Step>& steps);
    // Attaches every step's arguments to `request`; throws Failure for an argument that does
    // not convert.
    void attachArguments(const std::vector<Step>& steps, ZAMUnified::Request& request);
    std::shared_ptr<ZAMUnified::ParametersCollection> convertArguments(
        const std::vector<Step>& steps, std::size_t index);
    // The reflector of the object step `index` applies to, found by reading the properties
    // before it; empty (with the reason) when a step before it is not a plain property read.
    std::shared_ptr<ZAMUnified::Reflector> reflectorBefore(const std::vector<Step>& steps,
                                                           std::size_t index, std::string& why);
    std::shared_ptr<ZAMUnified::Reflector> startReflector(const Step& start, std::string& why);
    // The reflector at the end of a path, for describe.
    std::shared_ptr<ZAMUnified::Reflector> reflectorAtEnd(const std::string& path);

    std::string valueText(const std::shared_ptr<ZAMUnified::ReturnValue>& value) const;
    void remember(const std::shared_ptr<ZAMUnified::ReturnValue>& value);
    void printResult(const std::string& request,
                     const std::shared_ptr<ZAMUnified::ReturnValue>& value);
    void printNotification(const std::string& label,
                           const ZAMUnified::PropertyValueFetcher& fetcher,
                           const std::vector<std::string>& change);
    // Prints lines of command output, as text or as one JSON object.
    void printOutput(const std::string& command, const std::vector<std::string>& lines);
    bool fail(const std::string& line, const std::string& message);

    ZAMUnified::ServiceFactory& factory_;
    std::shared_ptr<ZAMUnified::UnifiedFactory> unified_;
    std::ostream& out_;
    std::ostream& err_;
    Options options_;
    std::string where_;
    const char* kind_ = "request";  // the JSON key that names the failing line
    std::string why_;               // the factory's reason, printed with the next failure
    bool quit_ = false;

    std::shared_ptr<ZAMUnified::ReflectorMap> reflectors_ =
        std::make_shared<ZAMUnified::ReflectorMap>();
    // Every business object a result has shown, by GUID, for "@<guid>" starts.
    std::shared_ptr<ZAMUnified::UnifiedBusinessObjectMap> objects_ =
        std::make_shared<ZAMUnified::UnifiedBusinessObjectMap>();
    ZAMUnified::Interpreter interpreter_{reflectors_};
    std::map<std::string, std::weak_ptr<ZAMUnified::PropertyNotifierConnection>> watches_;
};

}  // namespace svcsh

#endif  // SVCSH_SHELL_H
