#include <zam/Mutex.h>

#include "common/detail/PrimitiveData.h"

namespace zam {

Mutex::Mutex() : data_(new MutexData) {
    pthread_mutexattr_init(&data_->attributes);
    pthread_mutexattr_settype(&data_->attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&data_->mutex, &data_->attributes);
}

Mutex::~Mutex() {
    pthread_mutex_destroy(&data_->mutex);
    pthread_mutexattr_destroy(&data_->attributes);
    delete data_;
    data_ = nullptr;
}

int Mutex::lock() {
    if (data_ == nullptr) {
        return 1;
    }
    return pthread_mutex_lock(&data_->mutex);
}

int Mutex::unlock() {
    if (data_ == nullptr) {
        return 1;
    }
    return pthread_mutex_unlock(&data_->mutex);
}

}  // namespace zam
