#include "platform/relay_library.h"

#include "platform/machine_facility.h"
#include "platform/sim/sim_relay.h"

namespace tb {

namespace {

MachineFacility<RelayLoader>& facility() {
    static MachineFacility<RelayLoader> f([]() -> std::shared_ptr<RelayLoader> { return sim::make_sim_relay_loader(); },
                                  []() -> std::shared_ptr<RelayLoader> { return make_native_relay_loader(); });
    return f;
}

}  // namespace

RelayLoader& relay_loader() { return *facility().get(); }

void set_relay_loader(std::unique_ptr<RelayLoader> loader) { facility().install(std::move(loader)); }

}  // namespace tb
