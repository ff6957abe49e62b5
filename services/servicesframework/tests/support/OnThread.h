// A call run on a thread of its own, for tests where the test's thread must act (pump, clear,
// destroy) while another thread waits in the framework.
#ifndef SERVICESFRAMEWORK_TESTS_ONTHREAD_H
#define SERVICESFRAMEWORK_TESTS_ONTHREAD_H

#include <atomic>
#include <thread>

#include "support/Deadline.h"

namespace sftest {

class OnThread {
  public:
    template <typename Call>
    explicit OnThread(Call call)
        : thread_([this, call]() mutable {
              call();
              returned_ = true;
          }) {}
    // Joins: a call that never returns hangs here, after the test has already failed on
    // returns().
    ~OnThread() { thread_.join(); }
    OnThread(const OnThread&) = delete;
    OnThread& operator=(const OnThread&) = delete;

    bool returned() const { return returned_; }
    // Whether the call returns within the deadline.
    bool returns() {
        return eventually([this] { return returned_.load(); });
    }

  private:
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_ONTHREAD_H
