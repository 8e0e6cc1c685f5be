#include "platform/system_restart.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_system_restart.h"

namespace tb {

namespace {

MachineFacility<SystemRestart>& facility() {
    static MachineFacility<SystemRestart> f([]() -> std::shared_ptr<SystemRestart> { return sim::make_sim_system_restart(); },
                                  []() -> std::shared_ptr<SystemRestart> { return make_native_system_restart(); });
    return f;
}

}  // namespace

SystemRestart& system_restart() { return *facility().get(); }

void set_system_restart(std::unique_ptr<SystemRestart> restart) { facility().install(std::move(restart)); }

}  // namespace tb
