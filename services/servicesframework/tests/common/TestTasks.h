// What the pool and queue suites share: tasks made from lambdas, a pool's statistics as one
// string, and a bounded wait for held tasks.
#ifndef SERVICESFRAMEWORK_TESTS_COMMON_TESTTASKS_H
#define SERVICESFRAMEWORK_TESTS_COMMON_TESTTASKS_H

#include <KORCoreUtils.h>
#include <KORCoreUtils/FunctionTask.h>
#include <zam/ThreadPool.h>

#include <functional>
#include <memory>
#include <string>

#include "support/Deadline.h"
#include "support/HeldTasks.h"
#include "support/OnThread.h"

namespace sftest {

inline TaskPtr task(std::function<void()> body, const std::string& name = "t") {
    return std::make_shared<KORCoreUtils::FunctionTask>(std::move(body), name);
}

inline TaskPtr named(const std::string& name) {
    return task([] {}, name);
}

inline std::uint64_t threadId() {
    return KORCoreUtils::ThreadUtils::getCurrentThreadId();
}

// Compared whole, so that a failure shows every figure.
inline std::string describe(const zam::ThreadPool::Statistics& s) {
    return "alive " + std::to_string(s.threadsAlive) + ", busy " + std::to_string(s.threadsBusy) +
           ", urgent " + std::to_string(s.urgentQueued) + ", normal " +
           std::to_string(s.normalQueued) + ", run " + std::to_string(s.tasksRun);
}

inline bool started(const HeldTasks& held, int count) {
    return eventually([&] { return held.started.load() == count; });
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_COMMON_TESTTASKS_H
