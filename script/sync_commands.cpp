#include "script/sync_commands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "common/format.h"
#include "platform/broadcast_channel.h"
#include "platform/named_event.h"
#include "platform/named_mutex.h"
#include "platform/process_identity.h"
#include "platform/shared_memory.h"
#include "platform/shared_wait_stop.h"
#include "script/app_context.h"
#include "script/barrier_roster.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/global_var.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"

namespace tb {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::atomic<bool>* cancel_flag(int slot) { return slot == 0 ? &app().jobs[0].cancel : nullptr; }


// ---------------------------------------------------------------------------
// The barrier.
//
// The section "XRT_SHAREE" starts with the block every instance maps: the
// waiting count, the member count and the event handle field, which here is
// the id of the process that opened the group's event first. Behind it the
// roster records each member process and whether its arrival is counted in
// the current round. The event "SyncEvent" is pulsed by the last member to
// arrive. Every change of the counts is a single transition under the
// section's region lock, so an arrival, a cancel and a member leaving can
// never interleave halfway; the counts themselves are still only changed with
// atomic operations, as every instance expects of the block.
//
// The last arriver re-arms the waiting count before it pulses the event, and
// waiters are released by the event's generation rather than by its
// signalled state. A member released by one pulse that hurries on to the
// next SyncWait therefore counts towards the next round and waits for the
// next pulse instead of slipping through the one still in progress.
//
// A member whose process has ended without leaving is taken out of the group
// by whichever member looks next (joining, arriving, waiting, leaving); when
// the others were all waiting for it, they are released.

struct BarrierBlock {
    int32_t waiting;
    int32_t members;
    uint32_t event_handle;
};
static_assert(sizeof(BarrierBlock) == 12);

struct BarrierSection {
    BarrierBlock block;
    uint32_t reserved;
    BarrierRoster roster;
};

constexpr int kBarrierRegion = SharedSegment::kFirstUserRegion;
constexpr int kPulseMs = 500;
constexpr int kWaitStepMs = 1000;

struct Barrier {
    std::mutex lock;
    SharedSegment section;
    NamedEvent event;
    std::string problem;  // why the objects could not be opened
};

// Never destroyed: a run thread may still use it while the process exits.
Barrier& barrier() {
    static Barrier* b = new Barrier;
    return *b;
}

// One transition of the shared state: this process's lock and the instances'
// region lock. Waiting for the region lock ends on `stop` or a stop of the job;
// the process's lock is held either way (so b.problem may be written).
class BarrierGuard {
public:
    BarrierGuard(Barrier& b, const StopCondition& stop = {})
        : process_(b.lock), region_(b.section, kBarrierRegion, stop) {}
    bool held() const { return region_.held(); }

private:
    std::lock_guard<std::mutex> process_;
    SegmentRegionLock region_;
};

bool attach_barrier(Barrier& b) {
    std::lock_guard<std::mutex> g(b.lock);
    if (!b.section.is(shm_names::kBarrier) && !b.section.attach(shm_names::kBarrier, sizeof(BarrierSection))) {
        b.problem = b.section.error();
        return false;
    }
    if (!b.event.is(shm_names::kSyncEvent) && !b.event.attach(shm_names::kSyncEvent)) {
        b.problem = b.event.error();
        return false;
    }
    return true;
}

std::string barrier_problem() {
    Barrier& b = barrier();
    std::lock_guard<std::mutex> g(b.lock);
    return b.problem.empty() ? std::string("Open XRT_SHAREE Fail") : b.problem;
}

BarrierSection& section(Barrier& b) { return *b.section.as<BarrierSection>(); }

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

// A new round: every member waits again. Signals the event; the caller
// resets it after the pulse. Under the guard.
void release_round(Barrier& b) {
    BarrierSection& s = section(b);
    exchange(s.block.waiting, load(s.block.members));
    roster_clear_arrivals(s.roster);
    b.event.set();
}

// After members left: releases the others when all of them are waiting, or
// closes the group when nobody is left. Returns whether a round was released.
// Under the guard.
bool settle_after_leaving(Barrier& b) {
    BarrierSection& s = section(b);
    const int32_t members = load(s.block.members);
    if (members > 0 && load(s.block.waiting) == 0) {
        release_round(b);
        return true;
    }
    if (members <= 0) {
        // The group is over: its event handle is closed.
        __atomic_store_n(&s.block.event_handle, 0u, __ATOMIC_RELEASE);
        exchange(s.block.waiting, 0);
        roster_clear(s.roster);
    }
    return false;
}

// Takes members whose process has ended out of the group. Under the guard.
bool remove_departed_members(Barrier& b) {
    BarrierSection& s = section(b);
    const DepartedMembers gone = roster_remove_departed(s.roster);
    if (gone.count == 0) return false;
    for (int k = 0; k < gone.not_arrived; ++k) decrement_if_positive(s.block.waiting);
    for (int k = 0; k < gone.count; ++k) decrement_if_positive(s.block.members);
    return settle_after_leaving(b);
}

void finish_pulse(Barrier& b) {
    std::this_thread::sleep_for(milliseconds(kPulseMs));
    b.event.reset();
}

// This process's record, added again if the roster lost it. Under the guard.
BarrierMember* own_record(Barrier& b) {
    const ProcessIdentity self = current_process_identity();
    BarrierMember* me = roster_find(section(b).roster, self);
    return me ? me : roster_add(section(b).roster, self);
}

}  // namespace

bool sync_join(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return false;
    if (js->sync_member) return true;  // counting one instance twice would keep the group waiting for ever
    Barrier& b = barrier();
    if (!attach_barrier(b)) return false;
    bool pulse = false;
    {
        BarrierGuard g(b, [slot] { return cancel_requested(slot); });
        if (!g.held()) {
            b.problem = "XRT_SHAREE is held by another instance; waiting for it was given up";
            return false;
        }
        pulse = remove_departed_members(b);
        BarrierSection& s = section(b);
        // The group's event exists while its first member's process holds it
        // or members remain; otherwise this instance opens a new group.
        const bool existed = load(s.block.members) > 0 ||
                             (s.block.event_handle != 0 && process_exists(static_cast<int32_t>(s.block.event_handle)));
        if (!existed) roster_clear(s.roster);
        if (!roster_add(s.roster, current_process_identity())) {
            b.problem = fmt("XRT_SHAREE has no room for more than %d members", static_cast<int>(kBarrierRosterSize));
            return false;
        }
        if (existed) {
            add(s.block.waiting, 1);
            add(s.block.members, 1);
        } else {
            __atomic_store_n(&s.block.event_handle, static_cast<uint32_t>(current_process_id()), __ATOMIC_RELEASE);
            b.event.reset();
            exchange(s.block.waiting, 1);
            exchange(s.block.members, 1);
        }
    }
    if (pulse) finish_pulse(b);
    js->sync_member = true;
    return true;
}

int sync_wait(int slot, uint32_t timeout_sec, bool show_message) {
    JobSlot* js = job_slot(slot);
    if (!js || !js->sync_member) return kSyncNotMember;
    Barrier& b = barrier();
    if (!attach_barrier(b)) return kSyncUnavailable;
    const StopCondition cancelled = [slot] { return cancel_requested(slot); };
    BarrierSection& s = section(b);

    uint32_t generation = 0;
    int32_t members = 0;
    bool last = false;
    {
        BarrierGuard g(b, cancelled);
        if (!g.held()) return kSyncCancelled;
        // A departed member can complete the round only when this arrival
        // already counted (a timed-out wait of this round): then it is released too.
        last = remove_departed_members(b);
        members = load(s.block.members);
        if (!last) {
            generation = b.event.generation();
            BarrierMember* me = own_record(b);
            const bool counted = me && me->arrived;
            const int32_t waiting = counted ? load(s.block.waiting) : decrement_if_positive(s.block.waiting);
            if (me) me->arrived = 1;
            last = waiting <= 0;
            if (last) release_round(b);  // re-armed for the next round
        }
    }
    if (show_message) log_text(slot, fmt("Wait %d Threads Synchronize...", members));

    if (last) {
        finish_pulse(b);
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
            BarrierMember* me = g.held() ? roster_find(s.roster, current_process_identity()) : nullptr;
            if (me && me->arrived) {
                add(s.block.waiting, 1);
                me->arrived = 0;
            }
            return kSyncCancelled;
        }
        bool released_by_departure = false;
        {
            BarrierGuard g(b, cancelled);
            if (g.held()) released_by_departure = remove_departed_members(b);
        }
        if (released_by_departure) {
            finish_pulse(b);
            return kSyncReleased;
        }
        if (limited && steady_clock::now() >= deadline) {
            // The arrival stays counted in this round.
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
    bool pulse = false;
    {
        BarrierGuard g(b);
        // Given up: the others take this member out once its process has ended.
        if (!g.held()) return;
        BarrierSection& s = section(b);
        // The member that leaves will not arrive in the current round. Its
        // arrival is taken out whether the job was cancelled or ran to its
        // end without reaching SyncWait - else the others would wait for it
        // for ever - unless a timed-out wait of this round already counted it.
        BarrierMember* me = roster_find(s.roster, current_process_identity());
        if (!me || !me->arrived) decrement_if_positive(s.block.waiting);
        if (me) roster_remove(*me);
        decrement_if_positive(s.block.members);
        // Others may have gone without leaving, too.
        pulse = remove_departed_members(b) || settle_after_leaving(b);
    }
    if (pulse) finish_pulse(b);
}

void cmd_SyncInit(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    uint32_t seconds = 0;
    if (a.has(0) && !a.get_u32(0, seconds)) return;
    if (!sync_join(slot)) {
        if (!cancel_requested(slot)) raise_error(slot, kErrGeneric, "SyncInit(); " + barrier_problem());
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
    else if (r == kSyncUnavailable) raise_error(slot, kErrGeneric, "SyncWait(); " + barrier_problem());
}

// ---------------------------------------------------------------------------
// The cross-instance lock.

void cmd_GlobalLock(int slot, const std::string& args, const std::string& name) {
    // Without a time limit; a cancelled job gives up waiting and ends.
    if (global_mutex().lock(cancel_flag(slot)) || cancel_requested(slot)) return;
    const std::string problem = global_mutex().error();
    raise_error(slot, kErrGeneric, "GlobalLock(); " + (problem.empty() ? std::string("Open GlobalMutex Fail") : problem));
}

void cmd_GlobalUnLock(int slot, const std::string& args, const std::string& name) { global_mutex().unlock(); }

void release_global_mutex_if_held() { global_mutex().release_all(); }

// ---------------------------------------------------------------------------
// GlobalVar and the function-script state.

namespace {

// Raises the reason when the table cannot be used (not when the job is stopping anyway).
bool global_var_ready(int slot, const std::string& command) {
    std::string problem;
    if (global_var_usable(problem)) return true;
    if (!cancel_requested(slot)) raise_error(slot, kErrGeneric, command + "(); " + problem);
    return false;
}

}  // namespace

void cmd_SetGlobalVar(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    ArgReader a(slot, args);
    std::string var;
    if (!a.get_string(0, var) || !a.has(1)) return;
    if (!global_var_ready(slot, name)) return;
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
    if (!global_var_ready(slot, name)) return;
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

void register_instance() {
    // A stopped job (Stop, broadcast, a stop request of the system) gives up every wait on a shared object.
    set_shared_wait_stop_flag(&app().jobs[0].cancel);
    broadcast_listen(on_broadcast_stop);
}

void unregister_instance() { broadcast_stop_listening(); }

void broadcast_error_stop() { broadcast_post(); }

bool broadcast_error_stop_if_enabled() {
    if (!broadcast_on_error()) return false;
    broadcast_error_stop();
    return true;
}

}  // namespace tb
