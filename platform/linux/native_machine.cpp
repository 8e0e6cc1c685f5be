#include "platform/native_machine.h"

#include "platform/linux/linux_block_storage.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/linux_volumes.h"

namespace tb {

std::string native_machine_option() { return "--linux"; }

std::unique_ptr<DiskPlatform> make_native_platform() { return make_linux_platform(); }

std::unique_ptr<BlockStorage> make_native_block_storage() { return linuxdisk::make_linux_block_storage(); }

std::unique_ptr<Volumes> make_native_volumes() { return linuxdisk::make_linux_volumes(); }

}  // namespace tb
