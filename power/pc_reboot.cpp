#include "power/pc_reboot.h"

#include <climits>
#include <mutex>
#include <optional>

#include "common/format.h"
#include "disk/disk_record.h"
#include "disk/refind.h"
#include "platform/system_mutex.h"
#include "platform/system_restart.h"
#include "power/countdown_task.h"
#include "power/reboot_continuation.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/run_resume.h"
#include "script/sync_commands.h"

namespace tb {

namespace {

constexpr int32_t kActionForcedOff = 0;
constexpr int32_t kActionPowerOff = 2;

struct Failure {
    int32_t code = 0;
    std::string detail;
};

constexpr ArgSpec kPcRebootArgs[] = {
    {"DelayRunSec", "", ArgType::Number, "0", 0, 0xFFFFFFFFll},
    {"PowerAction", "", ArgType::Number, "1", INT32_MIN, INT32_MAX},
    {"SPOR", "", ArgType::Bool, "FALSE"},
    {"BootContinue", "", ArgType::Bool, "TRUE"},
};

std::optional<PcRebootRequest> read_request(int slot, const std::string& args) {
    auto a = read_args(slot, args, "PCReBoot", kPcRebootArgs);
    if (!a) return std::nullopt;
    PcRebootRequest q;
    q.delay_sec = static_cast<uint32_t>(a->number("DelayRunSec"));
    q.power_action = static_cast<int32_t>(a->number("PowerAction"));
    q.spor = a->flag("SPOR");
    q.boot_continue = a->flag("BootContinue");
    return q;
}

// Taken by the first slot of this machine that restarts it and never given
// back: another slot that finds it taken leaves the restart to that one.
bool first_to_restart() {
    static std::mutex guard;
    static SystemMutex reboot_mutex;
    static bool mine = false;
    std::lock_guard hold(guard);
    if (!reboot_mutex.is(kRebootMutexName)) {
        mine = false;
        if (!reboot_mutex.open(kRebootMutexName)) return true;  // no mutex: nobody to defer to
    }
    if (!mine) mine = reboot_mutex.take(0) == SystemMutex::Take::Taken;
    return mine;
}

std::optional<Failure> go_down(MachineAction action, bool spor, bool forced) {
    RestartOutcome o = spor ? system_restart().abrupt(action) : system_restart().orderly(action, forced);
    if (o.accepted) return std::nullopt;
    return Failure{o.code, o.detail};
}

// The whole action once the delay (if any) is over. `state` is the run as
// it was when the command was called.
std::optional<Failure> act(int slot, const PcRebootRequest& q, SavedRunState state, bool sync_member) {
    if (q.power_action == kActionForcedOff) return go_down(MachineAction::PowerOff, q.spor, true);
    if (q.power_action == kActionPowerOff) {
        WakeOutcome w = request_wake_up(app().wake_service_host, kWakeAfterMs, pc_reboot_wake_timing(),
                                        [slot] { return cancel_requested(slot); });
        if (!w.accepted) return Failure{kErrTcpServer, w.reason};
    }
    const MachineAction action = q.power_action == kActionPowerOff ? MachineAction::PowerOff : MachineAction::Restart;
    std::optional<uint32_t> registered;
    if (q.boot_continue) {
        RestartCounters& counters = restart_counters(slot);
        state.info.reboot_count = counters.count + 1;
        std::string error;
        if (!register_continuation(state, sync_member ? 1 : 0, broadcast_on_error(), error))
            return Failure{kErrGeneric, error};
        counters.count = state.info.reboot_count;
        registered = counters.count;
    }
    if (sync_member) sync_wait(slot, kRebootSyncTimeoutSec, false);
    if (!first_to_restart()) return std::nullopt;
    std::optional<Failure> failed = go_down(action, q.spor, false);
    if (failed && registered) {
        // No restart: nothing may start this script again by itself.
        withdraw_continuation(*registered);
        --restart_counters(slot).count;
    }
    return failed;
}

}  // namespace

WakeTiming& pc_reboot_wake_timing() {
    static WakeTiming timing;
    return timing;
}

void cmd_PCReBoot(int slot, const std::string& args, const std::string& name) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    const std::optional<PcRebootRequest> read = read_request(slot, args);
    if (!read) return;
    const PcRebootRequest q = *read;
    SavedRunState state = capture_run_state(slot, location_text(current_target()));
    const bool sync_member = js->sync_member;
    if (q.delay_sec == 0) {
        if (std::optional<Failure> f = act(slot, q, std::move(state), sync_member)) {
            raise_error(slot, f->code, f->detail);
            return;
        }
        js->vars.set_number("_ErrorCheck", kCheckClose);
        return;
    }
    // The job goes on meanwhile; the task never touches its variables: a
    // failure is written to the log, and either way the job is stopped.
    start_countdown_task(slot, "Wait %d Sec for PC PowerOff...", q.delay_sec,
                         [slot, q, state = std::move(state), sync_member](const TaskControl&) {
                             if (std::optional<Failure> f = act(slot, q, state, sync_member))
                                 write_line(slot, fmt("PCReBoot: %s", f->detail), LineFormat::Normal, 10,
                                            colour::kRed);
                             set_cancel(slot);
                         });
    sleep_cancellable(slot, 1000);
}

}  // namespace tb
