#include "platform/system_mutex.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

#include "platform/shared_memory.h"

namespace tb {

namespace {

// A process-shared, robust, recursive mutex in a segment of its own name.
void init_shared_mutex(void* data, size_t) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(static_cast<pthread_mutex_t*>(data), &attr);
    pthread_mutexattr_destroy(&attr);
}

struct timespec monotonic_in(int timeout_ms) {
    struct timespec until {};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += timeout_ms / 1000;
    until.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    return until;
}

}  // namespace

struct SystemMutex::System {
    SharedSegment seg;
    pthread_mutex_t* mutex() { return seg.attached() ? seg.as<pthread_mutex_t>() : nullptr; }
};

SystemMutex::SystemMutex() : system_(std::make_unique<System>()) {}

SystemMutex::~SystemMutex() = default;

bool SystemMutex::open(std::string_view base) {
    error_.clear();
    if (system_->seg.attach(base, sizeof(pthread_mutex_t), init_shared_mutex)) return true;
    error_ = system_->seg.error();
    return false;
}

bool SystemMutex::opened() const { return system_->seg.attached(); }

bool SystemMutex::is(std::string_view base) const { return system_->seg.is(base); }

SystemMutex::Take SystemMutex::take(int timeout_ms) {
    pthread_mutex_t* m = system_->mutex();
    if (!m) return Take::Failed;
    const struct timespec until = monotonic_in(timeout_ms);
    int rc = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &until);
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(m);
        rc = 0;
    }
    if (rc == 0) return Take::Taken;
    return rc == ETIMEDOUT ? Take::TimedOut : Take::Failed;
}

bool SystemMutex::give() {
    pthread_mutex_t* m = system_->mutex();
    return m && pthread_mutex_unlock(m) == 0;
}

}  // namespace tb
