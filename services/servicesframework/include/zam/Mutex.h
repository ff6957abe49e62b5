// zam::Mutex: the framework's recursive mutex, a thin layer over a POSIX mutex.
//
// Threading: any thread; the owning thread may lock again and must unlock as often as it locked.
// Failure: lock() and unlock() return the platform's code (0 on success) and never throw; nothing
// else reports.
#ifndef ZAM_MUTEX_H
#define ZAM_MUTEX_H

namespace zam {

struct MutexData;

class Mutex {
  public:
    Mutex();
    ~Mutex();

    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Blocks until the calling thread owns the mutex. Returns 1 on a mutex whose state has been
    // released.
    int lock();
    // Returns 1 on a mutex whose state has been released.
    int unlock();

  private:
    friend class Condition;

    // The state lives on the heap so that this class's size does not depend on the platform's.
    MutexData* data_;
};

}  // namespace zam

#endif  // ZAM_MUTEX_H
