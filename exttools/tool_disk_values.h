// What the placeholders of a tool's parameters become for the current
// target disk and the running job.
//
// %Disk%    raw disk: the device a program opens: on this machine's own
//           disks under Linux the device node ("/dev/nvme0n1"), elsewhere
//           (Windows, the simulated machine) "\\.\PHYSICALDRIVE<n>";
//           partitioned disk: its drive letters ("D: E:"), or under Linux
//           the folder its first volume is mounted on.
// %DiskId%  raw disk: the disk number; partitioned disk: the first drive
//           letter counted from A (C: is 2).
// %xVolume% partitioned disk: the letters of every other lettered volume
//           of the machine, run together ("CF"); raw disk: empty.
// %CdiId%   how many listed disks have a lower disk number, not counting the
//           Realtek-bridge disks that disk-information tools do not list
//           (0 for such a disk itself).
// %Scpdir%  the folder of the running script.
// %Output%  the job's output stem (log folder, "R" or "S", line counter).
#pragma once

#include "exttools/tool_placeholders.h"

namespace tb {

struct DiskRecord;

PlaceholderValues placeholder_values(int slot);

// The target's state for the disk-mode checks.
bool target_is_raw();
bool target_has_volume();

// The text %Disk% stands for on `disk`.
std::string disk_placeholder(const DiskRecord& disk);

}  // namespace tb
