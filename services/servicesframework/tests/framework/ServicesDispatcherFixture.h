// The fixture the services dispatcher's tests share: a dispatcher owned by the test's thread, and
// the records of the "services-dispatcher" logger, captured at info level.
#ifndef SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H
#define SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H

#include <ZAMLogger.h>
#include <ZAMUnified/ServicesDispatcher.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/LogCapture.h"

namespace sftest {

class DispatcherTest : public ::testing::Test {
  protected:
    static constexpr const char* kLogger = "services-dispatcher";
    static constexpr const char* kPath =
        "services/servicesframework/src/framework/ServicesDispatcher";

    // The only record with this message; fails the test unless there is exactly one.
    ZAMLogRecord only(const std::string& message) {
        ZAMLogRecord found;
        int count = 0;
        for (const ZAMLogRecord& record : log_.records()) {
            if (record.message == message) {
                found = record;
                ++count;
            }
        }
        EXPECT_EQ(1, count) << message;
        EXPECT_EQ(kPath, found.file);
        return found;
    }

    LogCapture log_{{kLogger}};
    ZAMUnified::ServicesDispatcher dispatcher;
};

// The numbers where `pattern` has '#', when `message` reads exactly as `pattern` with a number in
// each such place; otherwise a failure and no numbers.
inline std::vector<long> numbersIn(const std::string& message, const std::string& pattern) {
    std::vector<long> numbers;
    std::size_t at = 0;
    for (std::size_t from = 0;; ++from) {
        const std::size_t hash = std::min(pattern.find('#', from), pattern.size());
        if (message.compare(at, hash - from, pattern, from, hash - from) != 0) {
            break;
        }
        at += hash - from;
        from = hash;
        const std::size_t digits = message.find_first_not_of("0123456789", at);
        if (from == pattern.size() || digits == at) {
            if (from == pattern.size() && at == message.size()) {
                return numbers;
            }
            break;
        }
        numbers.push_back(std::stol(message.substr(at, digits - at)));
        at = std::min(digits, message.size());
    }
    ADD_FAILURE() << "\"" << message << "\" does not read \"" << pattern << "\"";
    return {};
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H
