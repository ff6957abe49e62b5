// zam::Condition: a condition variable whose timed waits run on the monotonic clock, so changes of
// the wall clock neither shorten nor lengthen them.
//
// Threading: any thread; a waiter holds the mutex it passes, locked exactly once.
// Failure: operations return the platform's code (0 on success, ETIMEDOUT when a timed wait ran
// out). A condition that cannot be set up prints a line to standard output and aborts the process.
#ifndef ZAM_CONDITION_H
#define ZAM_CONDITION_H

#include <chrono>

namespace zam {

class Mutex;
struct ConditionData;

class Condition {
  public:
    Condition();
    ~Condition();

    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    // Wakes one waiter.
    int signal();
    // Wakes every waiter.
    int broadcast();

    // Releases `mutex` while waiting and holds it again on return. May return on a spurious
    // wake-up: callers wait in a loop on their own predicate.
    int wait(Mutex& mutex);

    // As wait(), bounded by `milliseconds` from now; a negative time counts as already run out,
    // and a time the clock cannot reach (from about 9.2e12 ms, LONG_MAX among them) means no
    // limit.
    int timedWait(Mutex& mutex, long milliseconds);

    // As wait(), bounded by an absolute point of the monotonic clock, so that a caller looping on
    // its predicate keeps one deadline across wake-ups. time_point::max() means no limit.
    int waitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline);

  private:
    ConditionData* data_;
};

}  // namespace zam

#endif  // ZAM_CONDITION_H
