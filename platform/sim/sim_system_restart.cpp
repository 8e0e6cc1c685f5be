#include "platform/sim/sim_system_restart.h"

#include <cstdio>
#include <cstdlib>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"

namespace tb::sim {

namespace {

class SimSystemRestart final : public SystemRestart {
public:
    RestartOutcome orderly(MachineAction action, bool) override { return go_down(action, false); }
    RestartOutcome abrupt(MachineAction action) override { return go_down(action, true); }

private:
    [[noreturn]] static RestartOutcome go_down(MachineAction action, bool abrupt) {
        if (SimMachine* m = current_sim_machine())
            for (uint32_t n : m->disk_numbers()) m->power_off(n, !abrupt);
        std::printf("The simulated machine %s%s.\n", abrupt ? "is cut off and " : "",
                    action == MachineAction::Restart ? "restarts" : "powers off");
        std::fflush(nullptr);
        std::_Exit(sim_restart_exit_code(action, abrupt));
    }
};

}  // namespace

std::unique_ptr<SystemRestart> make_sim_system_restart() { return std::make_unique<SimSystemRestart>(); }

}  // namespace tb::sim
