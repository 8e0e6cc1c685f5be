#include "script/sync_commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "common/format.h"
#include "platform/broadcast_channel.h"
#include "platform/named_event.h"
#include "platform/named_mutex.h"
#include "platform/shared_memory.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/global_var.h"
#include "script/handler.h"
#include "script/job_slot.h"
#include "ui/job_log.h"

namespace tb {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::atomic<bool>* cancel_flag(int slot) { return slot == 0 ? &app().jobs[0].cancel : nullptr; }


// ---------------------------------------------------------------------------
// The barrier.
//
// The block "XRT_SHAREE" holds the waiting count, the member count and the
// event handle field, which here is the id of the process that opened the
// group's event first. The event "SyncEvent" is pulsed by the last member to
// arrive. Every change of the counts is a single transition under the
// block's region lock, so an arrival, a cancel and a member leaving can never
// interleave halfway; the counts themselves are still only changed with
// atomic operations, as every instance expects of the block.
//
// The last arriver re-arms the waiting count before it pulses the event, and
// waiters are released by the event's generation rather than by its
// signalled state. A member released by one pulse that hurries on to the
// next SyncWait therefore counts towards the next round and waits for the
// next pulse instead of slipping through the one still in progress.

struct BarrierBlock {
    int32_t waiting;
    int32_t members;
    uint32_t event_handle;
};
static_assert(sizeof(BarrierBlock) == 12);

constexpr int kBarrierRegion = SharedSegment::kFirstUserRegion;
constexpr int kPulseMs = 500;
constexpr int kWaitStepMs = 1000;

struct Barrier {
    std::mutex lock;
    SharedSegment block;
    NamedEvent event;
    // After a timed-out wait this instance's arrival is still counted in the
    // round of that generation.
    bool arrival_counted = false;
    uint32_t arrival_generation = 0;
};

// Never destroyed: a run thread may still use it while the process exits.
Barrier& barrier() {
    static Barrier* b = new Barrier;
    return *b;
}

// One transition of the shared state: this process's lock and the instances' region lock.
class BarrierGuard {
public:
    explicit BarrierGuard(Barrier& b) : process_(b.lock), region_(b.block, kBarrierRegion) {}

private:
    std::lock_guard<std::mutex> process_;
    SegmentRegionLock region_;
};

bool attach_barrier(Barrier& b) {
    std::lock_guard<std::mutex> g(b.lock);
    if (!b.block.is(shm_names::kBarrier) && !b.block.attach(shm_names::kBarrier, sizeof(BarrierBlock))) return false;
    if (!b.event.is(shm_names::kSyncEvent) && !b.event.attach(shm_names::kSyncEvent)) return false;
    return true;
}

int32_t load(const int32_t& v) { return __atomic_load_n(&v, __ATOMIC_ACQUIRE); }
void add(int32_t& v, int32_t d) { __atomic_add_fetch(&v, d, __ATOMIC_ACQ_REL); }
void exchange(int32_t& v, int32_t n) { __atomic_exchange_n(&v, n, __ATOMIC_ACQ_REL); }

// Subtracts 1 when the count is above 0; returns the count afterwards.
int32_t decrement_if_positive(int32_t& v) {
    int32_t cur = load(v);
    while (cur > 0) {
        if (__atomic_compare_exchange_n(&v, &cur, cur - 1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) return cur - 1;
    }
    return cur;
}

}  // namespace

bool sync_join(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return false;
    if (js->sync_member) return true;  // counting one instance twice would keep the group waiting for ever
    Barrier& b = barrier();
    if (!attach_barrier(b)) return false;
    {
        BarrierGuard g(b);
        BarrierBlock* blk = b.block.as<BarrierBlock>();
        // The group's event exists while its first member's process holds it
        // or members remain; otherwise this instance opens a new group.
        const bool existed = load(blk->members) > 0 ||
                             (blk->event_handle != 0 && process_alive(static_cast<pid_t>(blk->event_handle)));
        if (existed) {
            add(blk->waiting, 1);
            add(blk->members, 1);
        } else {
            __atomic_store_n(&blk->event_handle, static_cast<uint32_t>(::getpid()), __ATOMIC_RELEASE);
            b.event.reset();
            exchange(blk->waiting, 1);
            exchange(blk->members, 1);
        }
        b.arrival_counted = false;
    }
    js->sync_member = true;
    return true;
}

int sync_member_count() {
    Barrier& b = barrier();
    std::lock_guard<std::mutex> g(b.lock);
    return b.block.is(shm_names::kBarrier) ? load(b.block.as<BarrierBlock>()->members) : 0;
}

int sync_wait(int slot, uint32_t timeout_sec, bool show_message) {
    JobSlot* js = job_slot(slot);
    if (!js || !js->sync_member) return kSyncNotMember;
    Barrier& b = barrier();
    if (!attach_barrier(b)) return kSyncUnavailable;
    BarrierBlock* blk = b.block.as<BarrierBlock>();

    uint32_t generation = 0;
    int32_t members = 0;
    bool last = false;
    {
        BarrierGuard g(b);
        generation = b.event.generation();
        const int32_t waiting = decrement_if_positive(blk->waiting);
        members = load(blk->members);
        last = waiting <= 0;
        if (last) {
            exchange(blk->waiting, members);  // re-armed for the next round
            b.event.set();
        }
        b.arrival_counted = false;
    }
    if (show_message) log_text(slot, fmt("Wait %d Threads Synchronize...", members));

    if (last) {
        std::this_thread::sleep_for(milliseconds(kPulseMs));
        b.event.reset();
        return kSyncReleased;
    }

    const bool limited = timeout_sec != 0;
    const auto deadline = steady_clock::now() + std::chrono::seconds(timeout_sec);
    for (;;) {
        int step = kWaitStepMs;
        if (limited) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            step = static_cast<int>(std::clamp<int64_t>(left, 0, kWaitStepMs));
        }
        if (b.event.wait_since(generation, step)) {
            std::this_thread::sleep_for(milliseconds(kPulseMs));
            return kSyncReleased;
        }
        if (cancel_requested(slot)) {
            BarrierGuard g(b);
            // Unless the round completed meanwhile, take this arrival back.
            if (b.event.generation() == generation) add(blk->waiting, 1);
            return kSyncCancelled;
        }
        if (limited && steady_clock::now() >= deadline) {
            {
                BarrierGuard g(b);
                b.arrival_counted = true;
                b.arrival_generation = generation;
            }
            if (show_message) log_text(slot, "Wait Synchronize Timeout");
            return kSyncTimeout;
        }
    }
}

void leave_sync_group(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js || !js->sync_member) return;
    js->sync_member = false;
    Barrier& b = barrier();
    if (!attach_barrier(b)) return;
    BarrierBlock* blk = b.block.as<BarrierBlock>();
    bool pulse = false;
    {
        BarrierGuard g(b);
        // The member that leaves will not arrive in the current round. Its
        // arrival is taken out whether the job was cancelled or ran to its
        // end without reaching SyncWait - else the others would wait for it
        // for ever - unless a timed-out wait of this round already counted it.
        const bool counted = b.arrival_counted && b.event.generation() == b.arrival_generation;
        if (!counted) decrement_if_positive(blk->waiting);
        b.arrival_counted = false;
        const int32_t members = decrement_if_positive(blk->members);
        if (members > 0 && load(blk->waiting) == 0) {
            // Everyone else is waiting for this one: release them.
            exchange(blk->waiting, members);
            b.event.set();
            pulse = true;
        } else if (members <= 0) {
            // The group is over: its event handle is closed.
            __atomic_store_n(&blk->event_handle, 0u, __ATOMIC_RELEASE);
            exchange(blk->waiting, 0);
        }
    }
    if (pulse) {
        std::this_thread::sleep_for(milliseconds(kPulseMs));
        b.event.reset();
    }
}

void cmd_SyncInit(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    uint32_t seconds = 0;
    if (a.has(0) && !a.get_u32(0, seconds)) return;
    if (!sync_join(slot)) {
        raise_error(slot, kErrGeneric, "SyncInit(); Open XRT_SHAREE Fail");
        return;
    }
    sleep_cancellable(slot, static_cast<uint64_t>(seconds) * 1000);
}

void cmd_SyncWait(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    uint32_t seconds = 0;
    if (a.has(0) && !a.get_u32(0, seconds)) return;
    const int r = sync_wait(slot, seconds, true);
    if (r == kSyncNotMember) raise_error(slot, kErrParam, "SyncInit(); No Initial");
    else if (r == kSyncUnavailable) raise_error(slot, kErrGeneric, "SyncWait(); Open XRT_SHAREE Fail");
}

// ---------------------------------------------------------------------------
// The cross-instance lock.

void cmd_GlobalLock(int slot, const std::string& args, const std::string& name) {
    // Without a time limit; a cancelled job gives up waiting and ends.
    global_mutex().lock(cancel_flag(slot));
}

void cmd_GlobalUnLock(int slot, const std::string& args, const std::string& name) { global_mutex().unlock(); }

void release_global_mutex_if_held() { global_mutex().release_all(); }

// ---------------------------------------------------------------------------
// GlobalVar and the function-script state.

void cmd_SetGlobalVar(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    ArgReader a(slot, args);
    std::string var;
    if (!a.get_string(0, var) || !a.has(1)) return;
    // The value is an expression, evaluated into the temporary first; a
    // failed evaluation leaves it undefined and nothing is written.
    js->vars.set("_Varible", Value{});
    evaluate_expression(slot, a.pair(1).value, "_Varible");
    const Value* v = js->vars.find("_Varible");
    if (!v || v->is_undefined()) return;
    if (!global_var_write(var, *v)) raise_error(slot, kErrParam, "GlobalVar Table Full");
}

void cmd_GetGlobalVar(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string var;
    if (!a.get_string(0, var)) return;
    const Value v = global_var_read(var);
    if (v.is_number()) set_result_number(slot, name, v.num, v.type);
    else set_result_string(slot, name, v.str);
}

void cmd_IsFnScriptRunning(int slot, const std::string& args, const std::string& name) {
    set_result_number(slot, name, global_var_text("_FnScript").empty() ? 0 : 1);
}

void cmd_CancelFnScript(int slot, const std::string& args, const std::string& name) {
    broadcast_error_stop_if_enabled();
    sleep_cancellable(slot, 3000);
}

// ---------------------------------------------------------------------------
// The stop broadcast.

namespace {

// Runs on the broadcast watcher thread.
void on_broadcast_stop() {
    AppContext& a = app();
    if (!a.jobs[0].running.load()) return;
    write_line(0, "---- Broadcast Trigger Cancel Job ----", LineFormat::Normal, 10, colour::kCyan);
    set_cancel(0);
}

}  // namespace

bool& broadcast_on_error() {
    static bool on = false;
    return on;
}

void register_instance() { broadcast_listen(on_broadcast_stop); }

void unregister_instance() { broadcast_stop_listening(); }

void broadcast_error_stop() { broadcast_post(); }

bool broadcast_error_stop_if_enabled() {
    if (!broadcast_on_error()) return false;
    broadcast_error_stop();
    return true;
}

}  // namespace tb
