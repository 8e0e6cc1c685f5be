// Disks arriving on the machine and leaving it: a watcher that calls back
// for each change it sees, on a thread of its own.
//
// Which machine: the one of the disks in use. On the simulated machine its
// unplug, replug, removal and rescan are seen; on Linux the kernel's device
// events (udev) of whole disks; on Windows a periodic rescan of the disks.
// Tests install their own with set_disk_arrivals.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tb {

enum class DiskChange { Arrived, Removed };

// `device` names the disk as the machine knows it (a device node, a
// "\\.\PHYSICALDRIVE%d" path); it may be empty when the machine does not say.
using DiskChangeHandler = std::function<void(DiskChange change, const std::string& device)>;

// A running watch; destroying it stops the watcher and waits for it, after
// which the handler is no longer called.
class DiskWatch {
public:
    virtual ~DiskWatch() = default;
};

class DiskArrivals {
public:
    virtual ~DiskArrivals() = default;
    // Starts watching; the handler runs on the watcher's thread. nullptr when
    // the machine cannot be watched.
    virtual std::unique_ptr<DiskWatch> watch(DiskChangeHandler handler) = 0;
};

// The facility in use: the one installed by set_disk_arrivals, else the one
// of the disk machine in use.
DiskArrivals& disk_arrivals();
// Installs a facility (tests); nullptr goes back to the default.
void set_disk_arrivals(std::unique_ptr<DiskArrivals> arrivals);

// This machine's own facility (platform/linux or platform/windows).
std::unique_ptr<DiskArrivals> make_native_disk_arrivals();

}  // namespace tb
