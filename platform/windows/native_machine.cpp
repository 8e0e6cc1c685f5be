#include "platform/native_machine.h"

#include "platform/windows/disk_platform_win.h"
#include "platform/windows/disk_storage_win.h"

namespace tb {

std::string native_machine_option() { return "--windows"; }

std::unique_ptr<DiskPlatform> make_native_platform() { return windisk::make_windows_platform(); }

std::unique_ptr<BlockStorage> make_native_block_storage() { return windisk::make_windows_block_storage(); }

std::unique_ptr<Volumes> make_native_volumes() { return windisk::make_windows_volumes(); }

}  // namespace tb
