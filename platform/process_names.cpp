#include "platform/process_names.h"

#include "platform/machine_facility.h"

namespace tb {

namespace {

MachineFacility<ProcessNames>& facility() {
    // The simulated machine has no processes of its own: both defaults are
    // this system's list.
    static MachineFacility<ProcessNames> f(make_native_process_names, make_native_process_names);
    return f;
}

}  // namespace

ProcessNames& process_names() {
    // The facility keeps the one it hands out until another is installed.
    return *facility().get();
}

void set_process_names(std::unique_ptr<ProcessNames> names) { facility().install(std::move(names)); }

}  // namespace tb
