#include "platform/system_sleep.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_sleep.h"

namespace tb {

namespace {

MachineFacility<SystemSleep>& facility() {
    static MachineFacility<SystemSleep> f(
        []() -> std::shared_ptr<SystemSleep> {
            return std::make_shared<sim::SimSystemSleep>(sim::sim_sleep_settings_from_environment());
        },
        []() -> std::shared_ptr<SystemSleep> { return make_native_system_sleep(); });
    return f;
}

}  // namespace

std::shared_ptr<SystemSleep> shared_system_sleep() { return facility().get(); }

SystemSleep& system_sleep() { return *shared_system_sleep(); }

void set_system_sleep(std::unique_ptr<SystemSleep> sleep) { facility().install(std::move(sleep)); }

}  // namespace tb
