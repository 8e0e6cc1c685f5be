#include "power/relink_bindings.h"

#include "power/rescan_driver.h"
#include "power/ssd_relink.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"SSDPowerReLink", cmd_SSDPowerReLink, kMaskNvme},
    {"ReScanDriver", cmd_ReScanDriver, kMaskAny},
};

}  // namespace

BindingList relink_bindings() { return kBindings; }

}  // namespace tb
