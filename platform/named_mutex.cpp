#include "platform/named_mutex.h"

#include "platform/shared_memory.h"

namespace tb {

bool NamedMutex::ready() {
    std::lock_guard<std::mutex> g(guard_);
    // Follow a change of namespace, but never drop a mutex this process holds.
    if (!mutex_.is(base_) && depth_.load() == 0) mutex_.open(base_);
    return mutex_.opened();
}

bool NamedMutex::open() { return ready(); }

SystemMutex::Take NamedMutex::take(int timeout_ms) {
    if (!ready()) return SystemMutex::Take::Failed;
    const SystemMutex::Take got = mutex_.take(timeout_ms);
    if (got == SystemMutex::Take::Taken) {
        std::lock_guard<std::mutex> g(guard_);
        owner_ = std::this_thread::get_id();
        depth_.fetch_add(1);
    }
    return got;
}

bool NamedMutex::lock(const std::atomic<bool>* cancel) {
    for (;;) {
        const SystemMutex::Take got = take(1000);
        if (got == SystemMutex::Take::Taken) return true;
        if (got != SystemMutex::Take::TimedOut) return false;
        if ((cancel && cancel->load()) || shared_wait_stop_requested()) return false;
    }
}

std::string NamedMutex::error() const {
    std::lock_guard<std::mutex> g(guard_);
    return mutex_.error();
}

bool NamedMutex::try_lock_for(int timeout_ms) { return take(timeout_ms) == SystemMutex::Take::Taken; }

bool NamedMutex::unlock() {
    std::lock_guard<std::mutex> g(guard_);
    if (depth_.load() == 0 || owner_ != std::this_thread::get_id() || !mutex_.opened()) return false;
    if (!mutex_.give()) return false;
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
