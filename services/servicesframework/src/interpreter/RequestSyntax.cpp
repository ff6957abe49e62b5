#include <ZAMUnified/RequestSyntax.h>

#include <utility>

namespace ZAMUnified {
namespace RequestSyntax {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// Characters that end a step name or a bare word.
bool isDelimiter(char c) {
    return isBlank(c) || c == '/' || c == '(' || c == ')' || c == ',' || c == '"' || c == '=' ||
           c == '@';
}

class Parser {
  public:
    explicit Parser(const std::string& text) : text_(text) {}

    std::vector<Step> path() {
        std::vector<Step> steps;
        skipBlanks();
        if (atEnd()) {
            fail("the request is empty");
        }
        for (;;) {
            steps.push_back(step(steps.empty()));
            skipBlanks();
            if (atEnd()) {
                return steps;
            }
            if (peek() != '/') {
                fail(std::string("unexpected '") + peek() + "' after step '" + steps.back().name +
                     "'");
            }
            ++pos_;
            skipBlanks();
        }
    }

  private:
    struct Token {
        std::string text;
        bool quoted;
    };

    [[noreturn]] void fail(const std::string& message) const {
        throw SyntaxError(pos_ + 1, message);
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    void skipBlanks() {
        while (!atEnd() && isBlank(peek())) {
            ++pos_;
        }
    }

    Step step(bool first) {
        Step step;
        if (peek() == '@') {
            if (!first) {
                fail("only the first step may start at a GUID");
            }
            ++pos_;
            step.guidStart = true;
            step.name = name();
            if (step.name.empty()) {
                fail("'@' must be followed by a GUID");
            }
            skipBlanks();
            if (!atEnd() && peek() == '(') {
                fail("a GUID start takes no arguments");
            }
            return step;
        }
        step.name = name();
        if (step.name.empty()) {
            fail(atEnd() || peek() == '/'
                     ? "empty step"
                     : std::string("unexpected '") + peek() + "' where a name should be");
        }
        skipBlanks();
        if (!atEnd() && peek() == '(') {
            ++pos_;
            step.hasArgumentList = true;
            step.arguments = argumentList();
        }
        return step;
    }

    std::string name() {
        const std::size_t begin = pos_;
        while (!atEnd() && !isDelimiter(peek())) {
            ++pos_;
        }
        return text_.substr(begin, pos_ - begin);
    }

    // After "(": arguments up to and including ")".
    std::vector<Argument> argumentList() {
        std::vector<Argument> arguments;
        skipBlanks();
        if (!atEnd() && peek() == ')') {
            ++pos_;
            return arguments;
        }
        for (;;) {
            arguments.push_back(argument());
            if (atEnd()) {
                fail("missing ')'");
            }
            if (peek() == ')') {
                ++pos_;
                return arguments;
            }
            ++pos_;  // ','
        }
    }

    // One argument; stops before the "," or ")" that ends it.
    Argument argument() {
        std::vector<Token> tokens;
        for (;;) {
            skipBlanks();
            if (atEnd()) {
                fail("missing ')'");
            }
            const char c = peek();
            if (c == ',' || c == ')') {
                if (tokens.empty()) {
                    fail("empty argument");
                }
                return positional(tokens);
            }
            if (c == '=') {
                if (tokens.empty()) {
                    fail("missing argument name before '='");
                }
                ++pos_;
                return named(tokens);
            }
            if (c == '"') {
                tokens.push_back({quoted(), true});
            } else {
                tokens.push_back({word(), false});
            }
        }
    }

    Argument positional(const std::vector<Token>& tokens) const {
        Argument argument;
        for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
            if (tokens[i].quoted) {
                fail("a quoted value must be the last part of its argument");
            }
            argument.type += (argument.type.empty() ? "" : " ") + tokens[i].text;
        }
        argument.value = tokens.back().text;
        return argument;
    }

    Argument named(const std::vector<Token>& tokens) {
        Argument argument;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (tokens[i].quoted) {
                fail("an argument name cannot be quoted");
            }
            if (i + 1 < tokens.size()) {
                argument.type += (argument.type.empty() ? "" : " ") + tokens[i].text;
            }
        }
        argument.name = tokens.back().text;
        skipBlanks();
        if (!atEnd() && peek() == '"') {
            argument.value = quoted();
            skipBlanks();
            if (!atEnd() && peek() != ',' && peek() != ')') {
                fail("unexpected text after the quoted value of '" + argument.name + "'");
            }
            return argument;
        }
        const std::size_t begin = pos_;
        while (!atEnd() && peek() != ',' && peek() != ')') {
            if (peek() == '"') {
                fail("a value with a quote must be quoted as a whole");
            }
            ++pos_;
        }
        argument.value = trim(text_.substr(begin, pos_ - begin));
        if (argument.value.empty()) {
            fail("missing value for '" + argument.name + "'");
        }
        return argument;
    }

    // A bare word; parentheses nest, and blanks inside them belong to the word, so that type
    // names such as "list(long long)" stay whole.
    std::string word() {
        const std::size_t begin = pos_;
        int depth = 0;
        while (!atEnd()) {
            const char c = peek();
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (depth == 0) {
                    break;
                }
                --depth;
            } else if (depth == 0 && (isBlank(c) || c == ',' || c == '=' || c == '"')) {
                break;
            }
            ++pos_;
        }
        if (depth != 0) {
            fail("missing ')'");
        }
        return text_.substr(begin, pos_ - begin);
    }

    std::string quoted() {
        ++pos_;  // the opening quote
        std::string value;
        while (!atEnd()) {
            const char c = peek();
            if (c == '"') {
                ++pos_;
                return value;
            }
            if (c == '\\') {
                ++pos_;
                if (atEnd()) {
                    break;
                }
                switch (peek()) {
                    case '"':
                        value += '"';
                        break;
                    case '\\':
                        value += '\\';
                        break;
                    case 'n':
                        value += '\n';
                        break;
                    case 't':
                        value += '\t';
                        break;
                    case 'r':
                        value += '\r';
                        break;
                    default:
                        fail(std::string("unknown escape \\") + peek());
                }
                ++pos_;
                continue;
            }
            value += c;
            ++pos_;
        }
        fail("unterminated quoted value");
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::vector<Step> parsePath(const std::string& text) {
    return Parser(text).path();
}

std::string interpreterPath(const std::vector<Step>& steps) {
    std::string path;
    for (const Step& step : steps) {
        path += path.empty() ? "" : "/";
        path += step.guidStart ? "UnifiedBusinessObject" : step.name;
    }
    return path;
}

std::vector<std::pair<std::string, std::string>> parseSignature(const std::string& parameters) {
    std::vector<std::pair<std::string, std::string>> result;
    std::size_t begin = 0;
    int depth = 0;
    for (std::size_t i = 0; i <= parameters.size(); ++i) {
        const char c = i < parameters.size() ? parameters[i] : ',';
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth <= 0) {
            const std::string piece = trim(parameters.substr(begin, i - begin));
            begin = i + 1;
            if (piece.empty()) {
                continue;
            }
            // The name is the last blank-separated word outside parentheses.
            std::size_t split = std::string::npos;
            int inner = 0;
            for (std::size_t j = 0; j < piece.size(); ++j) {
                if (piece[j] == '(') {
                    ++inner;
                } else if (piece[j] == ')') {
                    --inner;
                } else if (inner == 0 && isBlank(piece[j])) {
                    split = j;
                }
            }
            if (split == std::string::npos) {
                result.emplace_back(piece, "");
            } else {
                result.emplace_back(trim(piece.substr(0, split)), piece.substr(split + 1));
            }
        }
    }
    return result;
}

std::string quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\t':
                quoted += "\\t";
                break;
            case '\r':
                quoted += "\\r";
                break;
            default:
                quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace RequestSyntax
}  // namespace ZAMUnified
