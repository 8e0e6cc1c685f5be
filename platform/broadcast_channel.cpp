#include "platform/broadcast_channel.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/process_identity.h"
#include "platform/shared_memory.h"

namespace tb {

namespace {

constexpr uint32_t kSenderRing = 16;
constexpr int kChannelRegion = SharedSegment::kFirstUserRegion;

struct ChannelShared {
    uint32_t sequence;  // the word watchers wait on: broadcasts posted so far
    uint32_t reserved;
    int32_t senders[kSenderRing];  // sender of broadcast n at n % kSenderRing
};

// A listening watcher with an attachment of its own, so that posting (which
// follows namespace changes) never unmaps what the watcher reads.
struct Watcher {
    SharedSegment seg;
    std::thread thread;
    std::atomic<bool> stop{false};
    int32_t pid = 0;
    BroadcastReceiver receiver = nullptr;
};

struct Channel {
    std::mutex lock;
    SharedSegment post_seg;       // used by broadcast_post()
    Watcher* watcher = nullptr;   // never destroyed while its thread may run
};

// Never destroyed: the watcher may still run while the process exits.
Channel& channel() {
    static Channel* c = new Channel;
    return *c;
}

ChannelShared* shared(const SharedSegment& seg) { return seg.as<ChannelShared>(); }

// Whether broadcasts [from, to) include one from another process. The region
// lock is per open file, so it also orders this against a post of this process.
bool foreign_among(Watcher& w, uint32_t from, uint32_t to) {
    const int32_t self = current_process_id();
    SegmentRegionLock region(w.seg, kChannelRegion);
    const ChannelShared* s = shared(w.seg);
    for (uint32_t n = from; n != to; ++n) {
        if (to - n > kSenderRing) return true;  // its record is overwritten: assume another sender
        if (s->senders[n % kSenderRing] != self) return true;
    }
    return false;
}

void watch(Watcher* w) {
    ChannelShared* s = shared(w->seg);
    uint32_t seen = __atomic_load_n(&s->sequence, __ATOMIC_ACQUIRE);
    while (!w->stop.load()) {
        w->seg.wait_for_change(&s->sequence, seen, 1000);
        const uint32_t now = __atomic_load_n(&s->sequence, __ATOMIC_ACQUIRE);
        if (now == seen) continue;
        const bool foreign = foreign_among(*w, seen, now);
        seen = now;
        if (foreign && !w->stop.load() && w->receiver) w->receiver();
    }
}

}  // namespace

bool broadcast_listen(BroadcastReceiver receiver) {
    Channel& c = channel();
    std::lock_guard<std::mutex> g(c.lock);
    if (c.watcher && c.watcher->pid != current_process_id()) c.watcher = nullptr;  // inherited through fork: no thread behind it
    if (c.watcher) return true;
    auto* w = new Watcher;
    if (!w->seg.attach(shm_names::kBroadcast, sizeof(ChannelShared))) {
        delete w;
        return false;
    }
    w->pid = current_process_id();
    w->receiver = receiver;
    w->thread = std::thread(watch, w);
    c.watcher = w;
    return true;
}

void broadcast_stop_listening() {
    Channel& c = channel();
    Watcher* w = nullptr;
    {
        std::lock_guard<std::mutex> g(c.lock);
        w = c.watcher;
        c.watcher = nullptr;
        if (!w || w->pid != current_process_id()) return;
    }
    w->stop = true;
    w->seg.wake_waiters(&shared(w->seg)->sequence);  // the other watchers just look again
    w->thread.join();
    delete w;
}

bool broadcast_post() {
    Channel& c = channel();
    std::lock_guard<std::mutex> g(c.lock);
    if (!c.post_seg.is(shm_names::kBroadcast) && !c.post_seg.attach(shm_names::kBroadcast, sizeof(ChannelShared)))
        return false;
    ChannelShared* s = shared(c.post_seg);
    {
        SegmentRegionLock region(c.post_seg, kChannelRegion);
        const uint32_t n = __atomic_load_n(&s->sequence, __ATOMIC_ACQUIRE);
        __atomic_store_n(&s->senders[n % kSenderRing], current_process_id(), __ATOMIC_RELAXED);
        __atomic_store_n(&s->sequence, n + 1, __ATOMIC_RELEASE);
    }
    c.post_seg.wake_waiters(&s->sequence);
    return true;
}

}  // namespace tb
