#include <zam/ScopedLock.h>

namespace zam {

ScopedLock::ScopedLock(Mutex& mutex) : mutex_(&mutex) {
    mutex_->lock();
}

ScopedLock::~ScopedLock() {
    unlock();
}

int ScopedLock::unlock() {
    if (mutex_ == nullptr) {
        return 0;
    }
    Mutex* held = mutex_;
    mutex_ = nullptr;
    return held->unlock();
}

}  // namespace zam
