// ZAMUnified::RequestSyntax: the text form of a request, shared by every text front end (svcsh,
// the console, a host's own): a path of steps separated by "/", each step a name with an optional
// argument list, for example
//     HelloWorldService/sayHello(string name="Ada Lovelace")
//     HelloWorldService/add(a=1, b=2)
//     @17/Name("Grace")
// An argument is [type] [name =] value. The type may be left out (TextInterpreter then takes it
// from the declared signature) and so may the name (the argument is then positional). A value is a
// double-quoted text with the escapes \" \\ \n \t \r, or bare text; after "=" bare text runs to the
// next "," or ")" and is trimmed, so it may hold blanks. "@<guid>" as the first step starts at the
// business object with that GUID.
//
// Threading: pure functions. Failure: SyntaxError with the offending column (1-based).
#ifndef ZAMUNIFIED_REQUESTSYNTAX_H
#define ZAMUNIFIED_REQUESTSYNTAX_H

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace ZAMUnified {
namespace RequestSyntax {

struct Argument {
    std::string type;  // empty: taken from the declared signature
    std::string name;  // empty: positional
    std::string value;
    bool operator==(const Argument& other) const {
        return type == other.type && name == other.name && value == other.value;
    }
};

struct Step {
    std::string name;
    bool guidStart = false;        // "@<guid>": `name` holds the GUID
    bool hasArgumentList = false;  // written with parentheses, possibly empty
    std::vector<Argument> arguments;
};

class SyntaxError : public std::runtime_error {
  public:
    SyntaxError(std::size_t column, const std::string& message)
        : std::runtime_error("column " + std::to_string(column) + ": " + message),
          column_(column) {}
    std::size_t column() const { return column_; }

  private:
    std::size_t column_;
};

// Parses a whole path; throws SyntaxError for an empty path, an empty step, an unterminated
// quote or argument list, an unknown escape, a missing value or trailing text.
std::vector<Step> parsePath(const std::string& text);

// The path as the interpreter sees it: step names joined by "/", a GUID start as
// "UnifiedBusinessObject".
std::string interpreterPath(const std::vector<Step>& steps);

// Splits a method's declared parameter text such as "int a, list(string) names" into
// (type, name) pairs; a piece without a blank is a type without a name. Commas inside
// parentheses do not split.
std::vector<std::pair<std::string, std::string>> parseSignature(const std::string& parameters);

// Double-quotes `text` with the escapes parsePath() understands.
std::string quote(const std::string& text);

}  // namespace RequestSyntax
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REQUESTSYNTAX_H
