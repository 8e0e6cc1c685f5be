#include "platform/named_mutex.h"

#include <cerrno>
#include <ctime>

namespace tb {

namespace {

void init_shared_mutex(void* data, size_t) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(static_cast<pthread_mutex_t*>(data), &attr);
    pthread_mutexattr_destroy(&attr);
}

}  // namespace

pthread_mutex_t* NamedMutex::shared() {
    std::lock_guard<std::mutex> g(guard_);
    // Follow a change of namespace, but never drop a mapping this process holds the mutex through.
    if (!seg_.is(base_) && depth_.load() == 0) seg_.attach(base_, sizeof(pthread_mutex_t), init_shared_mutex);
    return seg_.attached() ? seg_.as<pthread_mutex_t>() : nullptr;
}

bool NamedMutex::open() { return shared() != nullptr; }

int NamedMutex::take(int timeout_ms) {
    pthread_mutex_t* m = shared();
    if (!m) return EINVAL;
    struct timespec until {};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += timeout_ms / 1000;
    until.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    int rc = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &until);
    if (rc == EOWNERDEAD) {
        // The previous holder died holding it; what it protected is in
        // whatever state the holder left, which is all a script section can
        // expect of a crashed peer.
        pthread_mutex_consistent(m);
        rc = 0;
    }
    if (rc == 0) {
        std::lock_guard<std::mutex> g(guard_);
        owner_ = std::this_thread::get_id();
        depth_.fetch_add(1);
    }
    return rc;
}

bool NamedMutex::lock(const std::atomic<bool>* cancel) {
    for (;;) {
        int rc = take(1000);
        if (rc == 0) return true;
        if (rc != ETIMEDOUT) return false;
        if ((cancel && cancel->load()) || shared_wait_stop_requested()) return false;
    }
}

std::string NamedMutex::error() const {
    std::lock_guard<std::mutex> g(guard_);
    return seg_.error();
}

bool NamedMutex::try_lock_for(int timeout_ms) { return take(timeout_ms) == 0; }

bool NamedMutex::unlock() {
    std::lock_guard<std::mutex> g(guard_);
    if (depth_.load() == 0 || owner_ != std::this_thread::get_id() || !seg_.attached()) return false;
    if (pthread_mutex_unlock(seg_.as<pthread_mutex_t>()) != 0) return false;
    if (depth_.fetch_sub(1) == 1) owner_ = {};
    return true;
}

int NamedMutex::release_all() {
    int n = 0;
    while (unlock()) ++n;
    return n;
}

int NamedMutex::held_by_this_thread() const {
    std::lock_guard<std::mutex> g(guard_);
    return owner_ == std::this_thread::get_id() ? depth_.load() : 0;
}

NamedMutex& global_mutex() {
    // Never destroyed: a thread may still hold it while the process exits.
    static NamedMutex* m = new NamedMutex(shm_names::kGlobalMutex);
    return *m;
}

NamedMutex& rescan_lock() {
    // Never destroyed: a thread may still hold it while the process exits.
    static NamedMutex* m = new NamedMutex(shm_names::kRescanLock);
    return *m;
}

NamedMutex& com_port_lock() {
    // Never destroyed: a thread may still hold it while the process exits.
    static NamedMutex* m = new NamedMutex(shm_names::kComPortLock);
    return *m;
}

void open_shared_mutexes() {
    global_mutex().open();
    rescan_lock().open();
    com_port_lock().open();
}

}  // namespace tb
