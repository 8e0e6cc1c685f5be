// The current target: choosing it at start-up, switching it, and telling the
// window when it changed. The package's drive restriction and protocol
// filter decide which disks may be chosen at all.
#pragma once

#include <string>
#include <string_view>

#include "disk/disk_record.h"

namespace tb {

// The package's restriction on the disks it may test.
struct DiskRestriction {
    bool active = false;        // false: every disk is allowed (no package settings applied)
    std::string model_filter;   // ModelName as in force after start-up ("**" accepts every disk)
    std::string soc_filter;     // SOCID
    int protocol_filter = 0;    // ProtocolType: 0 ALL, 1 SATA, 2 NVME
};

void set_disk_restriction(const DiskRestriction& restriction);
const DiskRestriction& disk_restriction();

// Whether the restriction and the protocol filter let `record` be offered.
// Reads the model anew when the model filter needs it.
bool disk_allowed(const DiskRecord& record);

// Makes `record` the current target; the process's access protocol and
// target string follow it (the target string becomes its device path).
void set_current_target(const DiskRecord& record);
// No current target: the run goes on without a disk.
void clear_current_target();
// Whether a disk is chosen.
bool has_current_target();

// Discovers and makes the first allowed record that matches the selector the
// current target (before matching, the vendor identification is run for
// every disk of protocols 1-2 and 10..17 whose SoC identifier is 0).
// False when none matches; the current target is then cleared and the target
// string kept for the "NO FOUND" message.
bool select_target(const std::string& selector);

// Discovers and makes the first allowed disk that is not the system disk the
// current target, a RAW disk before a disk with drive letters. False (and no
// current target) when there is none.
bool select_default_target();

// What the disk layer tells the window about the job's disk.
enum class DiskNotice {
    ChangeRequested,  // ChangeDisk: switch the job to the disk `path`
    Refound,          // the job re-found its disk (refresh the disk information)
};
// The window installs its handler; nullptr removes it. Without one (console
// runs, tests) ChangeDisk switches the current target itself.
using DiskNoticeHandler = void (*)(int slot, DiskNotice notice, const std::string& path);
void set_disk_notice_handler(DiskNoticeHandler handler);
bool disk_notice_handler_installed();
void notify_disk_change(int slot, DiskNotice notice, const std::string& path);

}  // namespace tb
