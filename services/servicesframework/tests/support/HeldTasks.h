// Tasks that keep pool threads busy behind a gate, for tests that must know every thread of a
// pool or dispatcher is taken before they queue more.
#ifndef SERVICESFRAMEWORK_TESTS_HELDTASKS_H
#define SERVICESFRAMEWORK_TESTS_HELDTASKS_H

#include <KORCoreUtils/FunctionTask.h>
#include <zam/Event.h>

#include <atomic>
#include <memory>
#include <string>

#include "support/Deadline.h"

namespace sftest {

// Counts the tasks that have passed into the gate and those that came out. The gate opens on
// destruction as well, and the tasks are then waited for (bounded), since they use this object:
// a failed assertion must not leave a pool thread blocked on a destroyed event.
struct HeldTasks {
    zam::Event gate{false};
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    ~HeldTasks() {
        gate.set();
        (void)eventually([this] { return finished.load() == started.load(); });
    }
    void open() { gate.set(); }
    TaskPtr make(const std::string& name = "holder") {
        return std::make_shared<KORCoreUtils::FunctionTask>(
            [this] {
                ++started;
                gate.wait();
                ++finished;
            },
            name);
    }
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_HELDTASKS_H
