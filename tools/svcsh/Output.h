// svcsh::Output: everything the shell prints, as text for people or, with --json, as one JSON
// object a line in the framework's JSON form (ZAMUnified::TextJson). Results and command output go
// to the output stream, failures to the error stream (or, as JSON, to the output stream).
// Threading: the shell's thread. Failure: none; printing does not fail the shell.
#ifndef SVCSH_OUTPUT_H
#define SVCSH_OUTPUT_H

#include <ostream>
#include <string>
#include <vector>

#include <ServicesFramework.h>

namespace svcsh {

class Output {
  public:
    Output(std::ostream& out, std::ostream& err, bool json) : out_(out), err_(err), json_(json) {}

    // Prefixes error lines, such as "hello.svc:3"; empty for "error".
    void setWhere(const std::string& where) { where_ = where; }
    bool json() const { return json_; }

    // A request's answer (the JSON line of TextJson::result): the value's text (nothing for
    // none or void) or the failure; as JSON, the line itself. False when it failed.
    bool answer(const std::string& kind, const std::string& line, const std::string& json);
    // A watched property's change (the JSON line of TextJson::notification):
    // "LABEL = TEXT (change: ...)", or the line itself.
    void notification(const std::string& json);
    // A command's output: its lines, or {"command":LINE,"ok":true,"output":[lines]}.
    void lines(const std::string& command, const std::vector<std::string>& lines);
    // A command's output with a structured form: the lines as text, or
    // {"command":LINE,"ok":true,KEY:JSON} where JSON is one of TextJson's answers.
    void structured(const std::string& command, const std::vector<std::string>& lines,
                    const std::string& key, const std::string& json);
    // A failed line; `kind` names it in JSON ("request" or "command"). Answers false.
    bool failure(const std::string& kind, const std::string& line, const std::string& message,
                 const std::string& why = "");
    // A dispatcher task that threw while the shell pumped.
    void pumpFailure(const std::string& failure);

  private:
    std::string where() const { return where_.empty() ? std::string("error") : where_; }

    std::ostream& out_;
    std::ostream& err_;
    bool json_;
    std::string where_;
};

}  // namespace svcsh

#endif  // SVCSH_OUTPUT_H
