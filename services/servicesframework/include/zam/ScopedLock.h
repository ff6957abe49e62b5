// zam::ScopedLock: holds a zam::Mutex from construction until unlock() or destruction.
//
// Threading: used by one thread, the one that constructed it.
// Failure: unlock() returns the platform's code; nothing throws.
#ifndef ZAM_SCOPEDLOCK_H
#define ZAM_SCOPEDLOCK_H

#include <zam/Mutex.h>

namespace zam {

class ScopedLock {
  public:
    // Locks the mutex; the mutex must outlive this object.
    explicit ScopedLock(Mutex& mutex);
    // Calls unlock(); never throws.
    ~ScopedLock();

    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    // Releases the mutex early and forgets it. Returns the unlock result, or 0 when the mutex was
    // already released through this object.
    int unlock();

  private:
    Mutex* mutex_;  // null once released
};

}  // namespace zam

#endif  // ZAM_SCOPEDLOCK_H
