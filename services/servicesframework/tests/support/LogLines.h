// Log records as text, so that a test compares a whole log at once: one line per record,
// "<level letter> <function>: <message>" (E, W, I, D, T from error to trace).
#ifndef SERVICESFRAMEWORK_TESTS_LOGLINES_H
#define SERVICESFRAMEWORK_TESTS_LOGLINES_H

#include <ZAMLogger.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace sftest {

// Fails the test for a record that does not come from `file`, when one is given.
inline std::vector<std::string> logLines(const std::vector<ZAMLogRecord>& records,
                                         const std::string& file = "") {
    std::vector<std::string> lines;
    for (const ZAMLogRecord& record : records) {
        EXPECT_TRUE(file.empty() || record.file == file) << record.file << ": " << record.message;
        const char level = record.level >= 2 && record.level <= 6 ? "EWIDT"[record.level - 2] : '?';
        lines.push_back(std::string(1, level) + " " + record.function + ": " + record.message);
    }
    return lines;
}

inline std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

// The numbers where `pattern` has '#', when `text` reads exactly as `pattern` with a number in
// each such place; otherwise a failure and no numbers.
inline std::vector<long> numbersIn(const std::string& text, const std::string& pattern) {
    const std::string literal =
        std::regex_replace(pattern, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    std::smatch match;
    std::vector<long> numbers;
    if (std::regex_match(text, match,
                         std::regex(std::regex_replace(literal, std::regex("#"), "([0-9]+)")))) {
        for (std::size_t i = 1; i < match.size(); ++i) {
            numbers.push_back(std::stol(match[i].str()));
        }
    } else {
        ADD_FAILURE() << "\"" << text << "\" does not read \"" << pattern << "\"";
    }
    return numbers;
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_LOGLINES_H
