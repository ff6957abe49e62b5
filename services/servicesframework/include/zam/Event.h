// zam::Event: a signal that threads wait on, auto-reset (each signal releases one waiter) or
// manual-reset (a signal releases every waiter until reset()).
//
// Threading: any thread may set, reset and wait.
// Failure: results are booleans; nothing throws.
#ifndef ZAM_EVENT_H
#define ZAM_EVENT_H

namespace zam {

struct EventData;

class Event {
  public:
    explicit Event(bool autoReset);
    ~Event();

    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Signals the event: wakes one waiter (auto-reset) or all waiters (manual-reset). Setting an
    // event that is already signalled stores no second signal; a signal set before anyone waits
    // is kept. Either way, what the calling thread did before set() is visible to a waiter that
    // the signal releases afterwards. Returns true.
    bool set();

    // Manual-reset: clears the signal and returns true. Auto-reset: changes nothing, returns false.
    bool reset();

    // Blocks until the event is signalled; an auto-reset event's signal is consumed. Returns true.
    bool wait();

    // As wait(), for at most `milliseconds` in total: the deadline is fixed when the call starts,
    // so wake-ups that find no signal do not extend it. Returns true when the event was or became
    // signalled, false after the time ran out, and false at once for a negative time. A time the
    // monotonic clock cannot reach (from about 9.2e12 ms, LONG_MAX among them) means no limit.
    bool timedWait(long milliseconds);

  private:
    EventData* data_;
};

}  // namespace zam

#endif  // ZAM_EVENT_H
