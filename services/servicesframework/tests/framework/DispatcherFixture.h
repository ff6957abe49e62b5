// The services dispatcher's test fixture, shared by its suites: a dispatcher owned by the test's
// thread, the records of the "services-dispatcher" logger, and tasks that take time or note a name.
#ifndef SERVICESFRAMEWORK_TESTS_FRAMEWORK_DISPATCHERFIXTURE_H
#define SERVICESFRAMEWORK_TESTS_FRAMEWORK_DISPATCHERFIXTURE_H

#include <ZAMLogger.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <zam/Event.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/Deadline.h"
#include "support/LogCapture.h"
#include "support/LogLines.h"

namespace {

using sftest::elapsedMs;
using sftest::joined;
using sftest::LogCapture;
using sftest::logLines;
using sftest::numbersIn;
using ZAMUnified::ServicesDispatcher;
using Names = std::vector<std::string>;
using std::chrono::milliseconds;

// A dispatcher owned by the test's thread, and the records of the "services-dispatcher" logger,
// captured at info level.
class DispatcherTest : public ::testing::Test {
  protected:
    // The records so far, one line each (see logLines), all from the dispatcher's source.
    std::vector<std::string> lines() {
        return logLines(log_.records(),
                        "services/servicesframework/src/framework/ServicesDispatcher");
    }
    std::string logText() { return joined(lines()); }

    // A task that notes its name in ran_; enqueue() queues one, loggable.
    std::function<void()> note(const std::string& name) {
        return [this, name] { ran_.push_back(name); };
    }
    void enqueue(const std::string& name, bool urgent = false, bool loggable = true) {
        dispatcher.enqueue(note(name), name, urgent, loggable);
    }

    std::vector<std::string> ran_;
    LogCapture log_{{"services-dispatcher"}};
    ServicesDispatcher dispatcher;
};

// Waits `ms` on an event nobody sets: a bounded wait that makes a task take measurable time.
inline void takeAtLeast(long ms) {
    const auto start = std::chrono::steady_clock::now();
    zam::Event never(true);
    while (elapsedMs(start) < ms) {
        (void)never.timedWait(ms - elapsedMs(start));
    }
}

// The two debug lines of a task run at debug level; '#' stands for its times.
inline std::string ranAtDebug(const std::string& name) {
    return "D executeTask:  executing (" + name + ")\nD executeTask:  executed (" + name +
           ") in [#] milliseconds. Waiting time was [#] milliseconds\n";
}

}  // namespace

#endif  // SERVICESFRAMEWORK_TESTS_FRAMEWORK_DISPATCHERFIXTURE_H
