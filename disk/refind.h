// Finding the current target again after a replug, a power cycle or a
// firmware reset, and waiting for it to come back.
#pragma once

#include <string>
#include <string_view>

#include "disk/disk_record.h"

namespace tb {

// Whether `candidate` stands at the same place as `target`: same bus type
// and, on SATA or SAS, same SCSI path id, target-lun and record kind; on
// other buses same port location, record kind and access protocol.
bool same_location(const DiskRecord& target, const DiskRecord& candidate);

// Rescans; finds the record whose device path equals `path` (case-insensitive)
// or, with an empty path, the record at the current target's location; copies
// it into the current target and re-runs the vendor identification.
// Returns true when found.
bool refind_current_target(std::string_view path = {});

// The location text "%d-%d-%d-%d-%d-%d": bus type, SCSI path id, port
// location, SCSI target-lun, record kind, access protocol.
std::string location_text(const DiskRecord& record);
// Parses a location text into those six fields of `record`; false when the
// text is not six numbers.
bool parse_location_text(std::string_view text, DiskRecord& record);
// Sets the six fields of the current target from the text, then refinds by
// location. False when the text is malformed or no disk stands there.
bool refind_by_location_text(std::string_view text);

// Waits for the current target to come back at its location, at most
// `timeout_s` seconds, with a count-down line in the job log. The slot's
// cancel flag ends the wait early. Returns 1 when found, 0 otherwise.
int wait_for_disk(int slot, int timeout_s);

}  // namespace tb
