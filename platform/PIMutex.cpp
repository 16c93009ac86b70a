#include "platform/PIMutex.h"

#include <cerrno>
#include <system_error>

namespace corvane {

PIMutex::PIMutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    if (pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT) == 0 &&
        pthread_mutex_init(&mutex_, &attributes) == 0) {
        protocol_ = PTHREAD_PRIO_INHERIT;
    } else {
        pthread_mutex_init(&mutex_, nullptr);
    }
    pthread_mutexattr_destroy(&attributes);
}

PIMutex::~PIMutex() { pthread_mutex_destroy(&mutex_); }

void PIMutex::lock() {
    if (int error = pthread_mutex_lock(&mutex_); error != 0) {
        throw std::system_error(error, std::system_category(), "PIMutex::lock");
    }
}

bool PIMutex::try_lock() {
    const int error = pthread_mutex_trylock(&mutex_);
    if (error == 0) return true;
    if (error == EBUSY) return false;
    throw std::system_error(error, std::system_category(), "PIMutex::try_lock");
}

void PIMutex::unlock() { pthread_mutex_unlock(&mutex_); }

}  // namespace corvane
