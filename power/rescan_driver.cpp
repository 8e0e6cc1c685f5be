#include "power/rescan_driver.h"

#include <atomic>

#include "disk/disk_record.h"
#include "disk/refind.h"
#include "disk/target_select.h"
#include "platform/disk_device.h"
#include "platform/named_mutex.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"

namespace tb {

namespace {

const std::atomic<bool>* job_cancel(int slot) { return slot == 0 ? &app().jobs[0].cancel : nullptr; }

// Holds the cross-instance rescan lock for a scope; waits for it without a
// time limit, giving up when the job is cancelled.
class RescanTurn {
public:
    explicit RescanTurn(int slot) : held_(rescan_lock().lock(job_cancel(slot))) {}
    ~RescanTurn() {
        if (held_) rescan_lock().unlock();
    }
    RescanTurn(const RescanTurn&) = delete;
    RescanTurn& operator=(const RescanTurn&) = delete;
    bool held() const { return held_; }

private:
    bool held_;
};

// Devices a rescan finds start in the background (their drivers bring the
// controller up and announce the disks), so the current target is looked
// for at once and then once a second for a few seconds.
constexpr int kSettleSeconds = 5;

bool refind_after_rescan(int slot) {
    for (int second = 0;; ++second) {
        if (refind_current_target()) return true;
        if (second == kSettleSeconds || cancel_requested(slot)) return false;
        sleep_cancellable(slot, 1000);
    }
}

}  // namespace

void cmd_ReScanDriver(int slot, const std::string&, const std::string& name) {
    bool rescanned = false;
    {
        RescanTurn turn(slot);
        if (!turn.held()) {
            if (cancel_requested(slot)) return;
            const std::string problem = rescan_lock().error();
            raise_error(slot, kErrGeneric, problem.empty() ? std::string("Open RescanLock Fail") : problem);
            return;
        }
        rescanned = disk_platform().rescan_devices();
    }
    if (!rescanned) {
        raise_error(slot, kErrChangeDriver, name);
        return;
    }
    const bool found = refind_after_rescan(slot);
    if (found) notify_disk_change(slot, DiskNotice::Refound, current_target().device_path);
    set_result_number(slot, name, found ? 1 : 0);
}

}  // namespace tb
