#include "platform/desktop_open.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_desktop.h"

namespace tb {

namespace {

MachineFacility<Desktop>& facility() {
    static MachineFacility<Desktop> f([]() -> std::shared_ptr<Desktop> { return sim::make_sim_desktop(); },
                                      []() -> std::shared_ptr<Desktop> { return make_native_desktop(); });
    return f;
}

}  // namespace

Desktop& desktop() { return *facility().get(); }

void set_desktop(std::unique_ptr<Desktop> chosen) { facility().install(std::move(chosen)); }

}  // namespace tb
