// svcsh::Shell: the shell's line handling. A line is a command (its first word names one), a
// comment, or a request; commands and requests are calls of the console's API on a Host (this
// process, or a running host reached with --connect), whose answers the shell prints through
// Output. The shell pumps the host around every line. For a local host the thread that makes
// the shell is the dispatcher thread: every request, command and notification runs on it,
// between pumps.
//
// Threading: one thread only (the dispatcher thread, locally). Failure: runLine() reports every
// failure (syntax, argument, interpreter message, exception from a service, a dispatcher task
// that threw, a lost connection) through Output and answers false.
#ifndef SVCSH_SHELL_H
#define SVCSH_SHELL_H

#include <chrono>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <ServicesFramework.h>

#include "Host.h"
#include "Output.h"

namespace svcsh {

struct Options {
    bool json = false;    // one JSON object per result, failure and notification
    bool reveal = false;  // print secure strings in clear
};

class Shell {
  public:
    // A local host's factory must already have made this thread its dispatcher thread.
    Shell(std::unique_ptr<Host> host, std::ostream& out, std::ostream& err, Options options);

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

    // Whether a line starting with `word` is a command.
    static bool isCommand(const std::string& word) { return commands().count(word) != 0; }
    // Whether the last line was a request that carried a secret argument.
    bool lastLineCarriedSecret() const { return lastLineCarriedSecret_; }
    // The words that may complete the last word of `typed` (the line up to the cursor): command
    // names and service names first, member names after a "/"; the caller picks those that
    // start with what was typed.
    std::vector<std::string> completions(const std::string& typed);

    // Runs every task the dispatcher has queued; false (with a message) when one threw.
    bool pump();
    // Pumps until `duration` has passed or Ctrl-C was pressed, waking as tasks arrive.
    void pumpFor(std::chrono::milliseconds duration);

  private:
    // Every command gets the text after its name and the whole line (for JSON and messages).
    using Command = bool (Shell::*)(const std::string& arguments, const std::string& line);
    // A command's refusal, reported as the line's failure.
    struct Failure {
        std::string message;
        std::string why = "";
    };

    static const std::map<std::string, Command>& commands();
    bool runCommand(const std::string& name, const std::string& arguments, const std::string& line);
    bool fail(const std::string& line, const std::string& message) {
        return output_.failure(kind_, line, message);
    }

    // The commands, in Commands.cpp.
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
    bool check(const std::string& arguments, const std::string& line);
    std::string addManifest(const std::string& directory);  // the new record's name

    // Calls the host's API; a failed answer becomes the line's failure (thrown as Failure, with
    // its reason), a good one is answered parsed.
    struct Answer;
    Answer call(const std::string& method, const std::string& target, const std::string& body = "");
    // Refuses, for a remote host, a command that acts on this process only.
    void localOnly(const std::string& command, const std::string& why);

    Output output_;
    std::string kind_ = "request";  // the JSON key that names the failing line
    bool quit_ = false;
    bool lastLineCarriedSecret_ = false;
    // Declared last, so that it ends its watches while the output they print to still exists.
    std::unique_ptr<Host> host_;
};

}  // namespace svcsh

#endif  // SVCSH_SHELL_H
