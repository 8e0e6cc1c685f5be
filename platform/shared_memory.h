// Named shared memory that every instance of the program on this machine can
// map: the barrier block, the event, the cross-instance mutexes, the GlobalVar
// table and the broadcast channel all live in segments of this kind.
//
// A segment lives in /dev/shm under "/<namespace><name>". The namespace comes
// from the environment variable TAMBLOR_IPC_NAMESPACE (normally unset), so
// that groups of instances - and tests - can run side by side in isolation.
//
// Lifetime follows the kernel-object model the instances expect: the contents
// survive while at least one process has the segment attached. The first
// process to attach, or the first one after every earlier holder has gone
// (ended or crashed), zero-fills the segment and runs the initialiser.
// Creation and initialisation are serialised between processes by open-file
// -description locks on the segment itself, which the kernel drops when a
// holder dies, so a crash can never leave a half-initialised segment that
// blocks the others. The last holder to detach, or to end, removes the name
// from the system; only a holder that crashes as the last one leaves it
// behind, and the next instance to attach starts it afresh.
//
// Segments are created for their owner only, or for a group (see
// shared_object_access.h); a segment of another user, or of a size other
// than expected, is refused with a reason in error().
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/shared_wait_stop.h"

namespace tb {

// The object names the instances share (without namespace and leading '/').
namespace shm_names {
constexpr const char* kBarrier = "XRT_SHAREE";
constexpr const char* kSyncEvent = "SyncEvent";
constexpr const char* kGlobalMutex = "GlobalMutex";
constexpr const char* kRescanLock = "RescanLock";
constexpr const char* kComPortLock = "ComPortLock";
constexpr const char* kGlobalVar = "GlobalVar";
constexpr const char* kBroadcast = "XRTWM_BROADCASTERRSTOP";
}  // namespace shm_names

// The namespace prefix from TAMBLOR_IPC_NAMESPACE ('/' replaced by '_').
std::string ipc_namespace();

// The system-wide name of a shared object: "/" + namespace + base.
std::string ipc_object_name(std::string_view base);

class SharedSegment {
public:
    using Initialiser = std::function<void(void* data, size_t size)>;

    // Region locks 0 and 1 are used by attach(); callers may use these.
    static constexpr int kFirstUserRegion = 2;

    SharedSegment() = default;
    ~SharedSegment() { detach(); }
    SharedSegment(const SharedSegment&) = delete;
    SharedSegment& operator=(const SharedSegment&) = delete;

    // Opens or creates the segment `base` of `size` bytes and maps it. When
    // this process is the first holder, the segment is zero-filled and `init`
    // runs before any other process can map it. Fails (see error()) when the
    // segment cannot be opened, belongs to another user, is held by others
    // with a different size, or opening it waited in vain until a stop.
    bool attach(std::string_view base, size_t size, const Initialiser& init = {});
    // Unmaps the segment; its name is removed when no other process holds it.
    void detach();
    // Why the last attach() failed.
    const std::string& error() const { return error_; }

    bool attached() const { return data_ != nullptr; }
    void* data() const { return data_; }
    size_t size() const { return size_; }
    // The full object name of the attachment (empty when detached).
    const std::string& name() const { return name_; }
    // Whether the attachment is the segment `base` of the current namespace.
    bool is(std::string_view base) const { return attached() && name_ == ipc_object_name(base); }

    template <typename T>
    T* as() const {
        return static_cast<T*>(data_);
    }

    // An exclusive lock on one byte of the segment's file, shared between
    // processes and released by the kernel when the holder dies. Threads of
    // one process share the lock (they use the same open file), so callers
    // add their own in-process mutex. The wait gives up (false) on a stop
    // of the job or `stop` (see shared_wait_stop.h).
    bool lock_region(int index, const StopCondition& stop = {});
    void unlock_region(int index);

    // The process ends: removes the name when this is the last holder, else
    // stops counting as a holder. The mapping stays.
    void release_at_exit();

private:
    void* map_attached(int fd, const std::string& name, size_t size, const Initialiser& init);
    bool remove_name_if_last();

    int fd_ = -1;
    void* data_ = nullptr;
    size_t size_ = 0;
    std::string name_;
    pid_t owner_pid_ = 0;  // the process that attached (a forked child only inherits it)
    std::string error_;
};

// Holds a region lock of a segment for a scope.
class SegmentRegionLock {
public:
    SegmentRegionLock(SharedSegment& seg, int index, const StopCondition& stop = {})
        : seg_(seg), index_(index), held_(seg.lock_region(index, stop)) {}
    ~SegmentRegionLock() {
        if (held_) seg_.unlock_region(index_);
    }
    SegmentRegionLock(const SegmentRegionLock&) = delete;
    SegmentRegionLock& operator=(const SegmentRegionLock&) = delete;
    bool held() const { return held_; }

private:
    SharedSegment& seg_;
    int index_;
    bool held_;
};

// Runs when the process ends (and may be called before): every segment this
// process attached is released as by SharedSegment::release_at_exit().
void release_shared_objects_of_this_process();

// Removes one named object, or every object of the program, of the current
// namespace from the system (tests and clean-up tools; attached processes keep
// their mappings).
bool remove_shared_object(std::string_view base);
void remove_shared_objects();

// Futex wait and wake on a 32-bit word inside a shared segment. The wait
// returns when woken, when the word no longer holds `expected`, or after
// `timeout_ms`; callers re-check their condition.
void shared_futex_wait(const uint32_t* word, uint32_t expected, int timeout_ms);
void shared_futex_wake_all(uint32_t* word);

// Whether a process of that id exists.
bool process_alive(pid_t pid);

}  // namespace tb
