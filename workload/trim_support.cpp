#include "workload/trim_support.h"

#include "disk/disk_record.h"
#include "script/error_policy.h"

namespace tb {

bool trims_possible(int slot, uint32_t trim_ratio) {
    if (trim_ratio == 0 || current_target().supports_trim) return true;
    raise_error(slot, kErrParam, "Disk not Support Trim");
    return false;
}

}  // namespace tb
