// The fixture the services dispatcher's tests share: a dispatcher owned by the test's thread, and
// the records of the "services-dispatcher" logger, captured at info level.
#ifndef SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H
#define SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H

#include <ZAMLogger.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <zam/Event.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "framework/LogLines.h"
#include "support/Deadline.h"
#include "support/LogCapture.h"

namespace sftest {

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
    ZAMUnified::ServicesDispatcher dispatcher;
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

// The statistics' figures that do not depend on timing, and their times in microseconds.
inline std::string counts(const ZAMUnified::ServicesDispatcher::Statistics& s) {
    return "queued " + std::to_string(s.queueSize) + ", running '" + s.runningTaskName + "', run " +
           std::to_string(s.tasksRun) + ", over " + std::to_string(s.tasksOverGuardTime) +
           (s.anyTaskCompleted ? ", completed" : ", none completed");
}
inline std::string times(const ZAMUnified::ServicesDispatcher::Statistics& s) {
    std::string text;
    for (std::chrono::microseconds time : {s.frontTaskWait, s.runningFor, s.longestExecution,
                                           s.longestWait, s.sinceLastCompletion}) {
        text += std::to_string(time.count()) + " ";
    }
    return text;
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_FRAMEWORK_SERVICESDISPATCHERFIXTURE_H
