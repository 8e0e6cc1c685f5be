// Cross-instance mutexes: "GlobalMutex" (GlobalLock / GlobalUnLock),
// "RescanLock" (held around driver rescans) and "ComPortLock" (held around
// serial power-hub access).
//
// Each is a machine-wide mutex of the system (system_mutex.h) of its own
// name. A holder that dies while holding it does not block the others: the
// next locker takes it over. Like the kernel mutexes the instances were
// designed around, the mutex is owned by a thread and may be taken again by
// its owner; each take needs its own release. This side counts the takes of
// the owning thread, so that the end of a run can release them all.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "platform/system_mutex.h"

namespace tb {

class NamedMutex {
public:
    explicit NamedMutex(const char* base) : base_(base) {}
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Opens (or creates) the shared mutex; true when it is available.
    bool open();

    // Waits without a time limit, in steps of one second; between steps
    // `cancel` (when given) and the stop of the job (shared_wait_stop.h) are
    // checked, and either ends the wait with false.
    bool lock(const std::atomic<bool>* cancel = nullptr);
    // One attempt, waiting at most `timeout_ms`.
    bool try_lock_for(int timeout_ms);
    // Releases one take by the calling thread; false when it holds none.
    bool unlock();
    // Releases every take the calling thread holds; returns how many.
    int release_all();
    // Takes the calling thread holds (0 when another thread or nobody owns it).
    int held_by_this_thread() const;
    // Why the shared mutex could not be opened (empty when it could).
    std::string error() const;

private:
    // Opens the mutex of the current namespace unless this process holds the one open.
    bool ready();
    SystemMutex::Take take(int timeout_ms);

    const char* base_;
    mutable std::mutex guard_;  // opening and the bookkeeping below
    SystemMutex mutex_;
    std::atomic<int> depth_{0};
    std::thread::id owner_{};
};

NamedMutex& global_mutex();
NamedMutex& rescan_lock();
NamedMutex& com_port_lock();

// Start-up: each instance creates, or opens when another instance created
// them first, the three mutexes.
void open_shared_mutexes();

// Holds a named mutex for a scope (no cancel check).
class ScopedNamedLock {
public:
    explicit ScopedNamedLock(NamedMutex& m) : m_(m), held_(m.lock()) {}
    ~ScopedNamedLock() {
        if (held_) m_.unlock();
    }
    ScopedNamedLock(const ScopedNamedLock&) = delete;
    ScopedNamedLock& operator=(const ScopedNamedLock&) = delete;
    bool held() const { return held_; }

private:
    NamedMutex& m_;
    bool held_;
};

}  // namespace tb
