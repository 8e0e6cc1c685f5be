// Named shared memory that every instance of the program on this machine can
// map: the barrier block, the event, the cross-instance mutexes, the GlobalVar
// table and the broadcast channel all live in segments of this kind.
//
// A segment is named "<prefix><namespace><name>", the prefix being the
// system's ("/" for a POSIX shared memory object, "Local\" for a section of
// the session). The namespace comes from the environment variable
// TAMBLOR_IPC_NAMESPACE (normally unset), so that groups of instances - and
// tests - can run side by side in isolation.
//
// Lifetime follows the kernel-object model the instances expect: the contents
// survive while at least one process has the segment attached. The first
// process to attach, or the first one after every earlier holder has gone
// (ended or crashed), sees it zero-filled and runs the initialiser before any
// other process can map it; a crash can never leave a half-initialised
// segment that blocks the others. When the last holder detaches or ends, the
// name goes away with the contents.
//
// A segment of another user, or of a size other than expected, is refused
// with a reason in error().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/shared_wait_stop.h"

namespace tb {

// The object names the instances share (without namespace and prefix).
namespace shm_names {
constexpr const char* kBarrier = "XRT_SHAREE";
constexpr const char* kSyncEvent = "SyncEvent";
constexpr const char* kGlobalMutex = "GlobalMutex";
constexpr const char* kRescanLock = "RescanLock";
constexpr const char* kComPortLock = "ComPortLock";
constexpr const char* kGlobalVar = "GlobalVar";
constexpr const char* kBroadcast = "XRTWM_BROADCASTERRSTOP";
}  // namespace shm_names

// The namespace prefix from TAMBLOR_IPC_NAMESPACE (path separators replaced by '_').
std::string ipc_namespace();

// The system-wide name of a shared object: the system's prefix, the namespace, then base.
std::string ipc_object_name(std::string_view base);

// The system's prefix of shared object names.
const char* ipc_name_prefix();

class SharedSegment {
public:
    using Initialiser = std::function<void(void* data, size_t size)>;

    // Region locks below this index are the segment's own; callers may use these.
    static constexpr int kFirstUserRegion = 2;

    SharedSegment();
    ~SharedSegment();
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

    // An exclusive lock shared between processes, one per index, released by
    // the system when the holder dies. Callers order the threads of their own
    // process with an in-process mutex of their own. The wait gives up
    // (false) on a stop of the job or `stop` (see shared_wait_stop.h).
    bool lock_region(int index, const StopCondition& stop = {});
    void unlock_region(int index);

    // Waits until the 32-bit word at `word` inside the segment no longer
    // holds `expected`, until woken, or at most `timeout_ms`; callers check
    // their condition again.
    void wait_for_change(const uint32_t* word, uint32_t expected, int timeout_ms) const;
    // Wakes every process waiting on a word of the segment.
    void wake_waiters(uint32_t* word) const;

    // The process ends: removes the name when this is the last holder, else
    // stops counting as a holder. The mapping stays.
    void release_at_exit();

private:
    struct System;

    std::unique_ptr<System> system_;
    void* data_ = nullptr;
    size_t size_ = 0;
    std::string name_;
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
// namespace from the system where the system keeps names apart from their
// holders (tests and clean-up tools; attached processes keep their mappings).
bool remove_shared_object(std::string_view base);
void remove_shared_objects();

// The attached segments of this process, released when it ends.
void enrol_shared_segment(SharedSegment* seg);
void withdraw_shared_segment(SharedSegment* seg);

}  // namespace tb
