#include <zam/Event.h>

#include <zam/Condition.h>
#include <zam/Mutex.h>
#include <zam/ScopedLock.h>

#include "common/detail/TimeLimit.h"

#include <atomic>
#include <chrono>

namespace zam {

// Why set() may return without the lock when the event is already signalled, by the C++ memory
// model and not by how one platform happens to unlock a mutex.
//
// Every write of `signalled` that a waiter depends on is a read-modify-write, and a
// read-modify-write always reads the last value before it in the flag's modification order:
// set() raises the flag with an exchange under the lock, or, when it is raised already, with a
// compare-exchange of true for true without the lock; a waiter of an auto-reset event takes the
// signal with exchange(false) under the lock. So the raises and takes of one event form one
// sequence. A set() that finds the flag raised lands before the next take, which reads its value
// or that of a later raise, and so a value of its release sequence (of an auto-reset event, only
// raises, all of them read-modify-writes, can come between a raise and the next take). The take
// acquires, so the waiter it releases sees everything the setter did before set(), as if that
// set() had raised the signal itself, and the set() has nothing left to wake.
//
// The fast path used to read the flag with a plain load, and a waiter took the signal with a load
// and a separate store. A waiter could then read an earlier raise, the setter find the flag still
// raised, and the waiter lower it afterwards: that set() synchronised with nobody, so the language
// did not promise the waiter what the setter wrote before it. Whatever made it work came from
// x86-64's ordering and glibc's unlock, and would not have carried over to another platform.
//
// A raise that finds the flag down happens under the lock, with the wake-up, so that a waiter,
// which looks at the flag and goes to sleep while holding the lock, either sees the raise or is
// asleep when the wake-up comes; and so that no waiter can see the signal, return and destroy the
// event before set() is done with it.
//
// A manual-reset event is not taken: waiters read the flag with acquire, and reset() lowers it.
// A waiter that reads a set()'s raise sees what came before that set(); a reset() after a set()
// in the flag's order clears the signal that set() left, as it would have done with the lock.
struct EventData {
    explicit EventData(bool autoResetEvent) : autoReset(autoResetEvent) {}

    // Takes the signal of an auto-reset event, or reads that of a manual-reset one; lock held.
    bool takeLocked() {
        return autoReset ? signalled.exchange(false, std::memory_order_acq_rel)
                         : signalled.load(std::memory_order_acquire);
    }

    const bool autoReset;
    // Raised from down and lowered only under lock; re-raised without it (see above).
    std::atomic<bool> signalled{false};
    // Held by waiters from their look at the flag until they sleep, by set() while it raises the
    // flag and wakes them, and by reset().
    Mutex lock;
    Condition condition;
};

Event::Event(bool autoReset) : data_(new EventData(autoReset)) {}

Event::~Event() {
    delete data_;
    data_ = nullptr;
}

bool Event::set() {
    bool raised = true;
    if (data_->signalled.compare_exchange_strong(raised, true, std::memory_order_acq_rel,
                                                 std::memory_order_relaxed)) {
        return true;
    }
    ScopedLock guard(data_->lock);
    if (!data_->signalled.exchange(true, std::memory_order_acq_rel)) {
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
    data_->signalled.store(false, std::memory_order_relaxed);
    return true;
}

bool Event::wait() {
    ScopedLock guard(data_->lock);
    while (!data_->takeLocked()) {
        data_->condition.wait(data_->lock);
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
    while (!data_->takeLocked()) {
        if (data_->condition.waitUntil(data_->lock, deadline) != 0) {
            // A signal that arrived together with the time-out still counts: the lock is held
            // again, so what the flag says now is the event's state.
            return data_->takeLocked();
        }
    }
    return true;
}

}  // namespace zam
