// Discovery of the disks of this Windows machine: the present devices of the
// disk interface class through SetupAPI, their identity through the storage
// queries, their controller through the configuration manager, and the
// drive letters through the volumes' device numbers and extents.
#pragma once

#include <vector>

#include "platform/disk_device.h"

namespace tb::windisk {

// The disks in enumeration order, each with its lettered volumes.
std::vector<DiscoveredDisk> discover_windows_disks();

}  // namespace tb::windisk
