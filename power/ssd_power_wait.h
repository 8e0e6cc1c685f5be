// Powering a disk on through the hub and waiting for it to come back: the
// hub stays open (and locked) until the disk is found or the time is up.
#pragma once

#include <cstdint>

#include "disk/disk_record.h"

namespace tb {

// 1 found, 0 not back in time or cancelled; a negative code when the hub
// failed (already raised).
int power_on_through_hub(int slot, const DiskRecord& target, uint32_t port, int timeout_s);

}  // namespace tb
