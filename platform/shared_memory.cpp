#include "platform/shared_memory.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace tb {

namespace {

// The segments this process has attached, so that the names of those it is
// the last holder of are removed when it ends.
struct Registry {
    std::mutex lock;
    std::vector<SharedSegment*> segments;
};

// Never destroyed: the exit sweep runs after static destructors may have.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

void sweep_at_exit() { release_shared_objects_of_this_process(); }

}  // namespace

std::string ipc_namespace() {
    const char* ns = std::getenv("TAMBLOR_IPC_NAMESPACE");
    std::string out = ns ? ns : "";
    for (char& c : out)
        if (c == '/' || c == '\\') c = '_';
    return out;
}

std::string ipc_object_name(std::string_view base) {
    while (!base.empty() && (base.front() == '/' || base.front() == '\\')) base.remove_prefix(1);
    return ipc_name_prefix() + ipc_namespace() + std::string(base);
}

void enrol_shared_segment(SharedSegment* seg) {
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(sweep_at_exit); });
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.segments.push_back(seg);
}

void withdraw_shared_segment(SharedSegment* seg) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.segments.erase(std::remove(r.segments.begin(), r.segments.end(), seg), r.segments.end());
}

void release_shared_objects_of_this_process() {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    for (SharedSegment* seg : r.segments) seg->release_at_exit();
    r.segments.clear();
}

void remove_shared_objects() {
    for (const char* base : {shm_names::kBarrier, shm_names::kSyncEvent, shm_names::kGlobalMutex,
                             shm_names::kRescanLock, shm_names::kComPortLock, shm_names::kGlobalVar,
                             shm_names::kBroadcast})
        remove_shared_object(base);
}

}  // namespace tb
