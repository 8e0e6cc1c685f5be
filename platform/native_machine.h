// The real machine this program was built for: its disks, its block storage
// and its volumes, chosen on the command line by the option that names it.
#pragma once

#include <memory>
#include <string>

#include "platform/block_storage.h"
#include "platform/disk_device.h"
#include "platform/volumes.h"

namespace tb {

// "--linux" or "--windows".
std::string native_machine_option();

// nullptr when the real machine cannot be used here.
std::unique_ptr<DiskPlatform> make_native_platform();
std::unique_ptr<BlockStorage> make_native_block_storage();
std::unique_ptr<Volumes> make_native_volumes();

}  // namespace tb
