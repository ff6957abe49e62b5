// The fixture the services dispatcher's tests share: a dispatcher owned by the test's thread, and
// the records of the "services-dispatcher" logger, captured at info level.
#ifndef SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H
#define SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H

#include <ZAMLogger.h>
#include <ZAMUnified/ServicesDispatcher.h>

#include <gtest/gtest.h>

#include <string>

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

// The number between the first "[" after `after` and the next "]".
inline long numberAfter(const std::string& message, const std::string& after) {
    const std::size_t at = message.find(after);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no '" << after << "' in " << message;
        return -1;
    }
    const std::size_t open = message.find('[', at + after.size() - 1);
    const std::size_t close = message.find(']', open);
    return std::stol(message.substr(open + 1, close - open - 1));
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H
