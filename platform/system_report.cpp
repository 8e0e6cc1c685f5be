#include "platform/system_report.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_system_report.h"

namespace tb {

namespace {

MachineFacility<SystemReport>& facility() {
    static MachineFacility<SystemReport> f(
        []() -> std::shared_ptr<SystemReport> { return sim::make_sim_system_report(); },
        []() -> std::shared_ptr<SystemReport> { return make_native_system_report(); });
    return f;
}

}  // namespace

SystemReport& system_report() { return *facility().get(); }

void set_system_report(std::unique_ptr<SystemReport> report) { facility().install(std::move(report)); }

}  // namespace tb
