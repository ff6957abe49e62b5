// The heap state behind zam::Mutex and zam::Condition, shared by the two so that a condition can
// wait on a mutex's platform handle.
#ifndef SERVICESFRAMEWORK_DETAIL_PRIMITIVEDATA_H
#define SERVICESFRAMEWORK_DETAIL_PRIMITIVEDATA_H

#include <pthread.h>

namespace zam {

struct MutexData {
    pthread_mutex_t mutex;
    pthread_mutexattr_t attributes;
};

struct ConditionData {
    pthread_cond_t condition;
    pthread_condattr_t attributes;
};

}  // namespace zam

#endif  // SERVICESFRAMEWORK_DETAIL_PRIMITIVEDATA_H
