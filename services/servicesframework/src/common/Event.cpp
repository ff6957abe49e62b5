#include <zam/Event.h>

#include <zam/Condition.h>
#include <zam/Mutex.h>
#include <zam/ScopedLock.h>

#include "common/detail/TimeLimit.h"

#include <atomic>
#include <chrono>

namespace zam {

struct EventData {
    explicit EventData(bool autoResetEvent) : autoReset(autoResetEvent) {}

    const bool autoReset;
    // Written only under lock. Atomic so that set() on an event that is already signalled, the
    // usual case for a dispatcher whose host pumps without waiting, can return without the lock:
    // a set() that reads true is one that came before the waiter consumed the signal.
    std::atomic<bool> signalled{false};
    Mutex lock;
    Condition condition;
};

Event::Event(bool autoReset) : data_(new EventData(autoReset)) {}

Event::~Event() {
    delete data_;
    data_ = nullptr;
}

bool Event::set() {
    if (data_->signalled.load(std::memory_order_acquire)) {
        return true;
    }
    ScopedLock guard(data_->lock);
    if (!data_->signalled) {
        data_->signalled = true;
        if (data_->autoReset) {
            data_->condition.signal();
        } else {
            data_->condition.broadcast();
        }
    }
    return true;
}

bool Event::reset() {
    ScopedLock guard(data_->lock);
    if (data_->autoReset) {
        return false;
    }
    data_->signalled = false;
    return true;
}

bool Event::wait() {
    ScopedLock guard(data_->lock);
    while (!data_->signalled) {
        data_->condition.wait(data_->lock);
    }
    if (data_->autoReset) {
        data_->signalled = false;
    }
    return true;
}

bool Event::timedWait(long milliseconds) {
    if (milliseconds < 0) {
        return false;
    }
    // One deadline for the whole call: a wake-up that finds no signal (a spurious one, or another
    // waiter that consumed an auto-reset signal first) waits only for the time that is left. A
    // time too large for the clock gives no deadline at all.
    const auto deadline = detail::deadlineAfter(std::chrono::steady_clock::now(), milliseconds);
    ScopedLock guard(data_->lock);
    while (!data_->signalled) {
        if (data_->condition.waitUntil(data_->lock, deadline) != 0) {
            break;
        }
    }
    // A signal that arrived together with the time-out still counts: the lock is held again, so
    // what the flag says now is the event's state.
    if (!data_->signalled) {
        return false;
    }
    if (data_->autoReset) {
        data_->signalled = false;
    }
    return true;
}

}  // namespace zam
