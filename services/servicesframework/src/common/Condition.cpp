#include <zam/Condition.h>

#include <zam/Mutex.h>

#include "common/detail/PrimitiveData.h"
#include "common/detail/TimeLimit.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace zam {
namespace {

constexpr long kNanosecondsPerSecond = 1000000000L;

int waitUntilTimespec(ConditionData* data, MutexData* mutex, const timespec& deadline) {
    int result = pthread_cond_timedwait(&data->condition, &mutex->mutex, &deadline);
    if (result == EINVAL) {
        puts("Condition::timedWait: pthread_cond_timedwait: EINVAL");
    }
    return result;
}

}  // namespace

Condition::Condition() : data_(new ConditionData) {
    pthread_condattr_init(&data_->attributes);
    if (pthread_condattr_setclock(&data_->attributes, CLOCK_MONOTONIC) != 0) {
        puts("pthread_condattr_setclock: failed to set CLOCK_MONOTONIC");
        abort();
    }
    if (pthread_cond_init(&data_->condition, &data_->attributes) != 0) {
        puts("pthread_cond_init: failed to initialize condition variable");
        abort();
    }
}

Condition::~Condition() {
    pthread_cond_destroy(&data_->condition);
    pthread_condattr_destroy(&data_->attributes);
    delete data_;
    data_ = nullptr;
}

int Condition::signal() {
    return pthread_cond_signal(&data_->condition);
}

int Condition::broadcast() {
    return pthread_cond_broadcast(&data_->condition);
}

int Condition::wait(Mutex& mutex) {
    return pthread_cond_wait(&data_->condition, &mutex.data_->mutex);
}

int Condition::timedWait(Mutex& mutex, long milliseconds) {
    // A negative time means "no time left" (handed on, it would make a negative nanosecond field,
    // which the platform rejects); one too large for the clock means "no limit".
    return waitUntil(mutex, detail::deadlineAfter(std::chrono::steady_clock::now(), milliseconds));
}

int Condition::waitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) {
    if (deadline == detail::kNoDeadline) {
        return wait(mutex);
    }
    // steady_clock is CLOCK_MONOTONIC on this platform, the clock the condition waits on.
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    timespec absolute{};
    if (sinceEpoch > 0) {
        absolute.tv_sec = static_cast<time_t>(sinceEpoch / kNanosecondsPerSecond);
        absolute.tv_nsec = static_cast<long>(sinceEpoch % kNanosecondsPerSecond);
    }
    return waitUntilTimespec(data_, mutex.data_, absolute);
}

}  // namespace zam
