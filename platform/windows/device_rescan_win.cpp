// Re-enumeration of the whole device tree through the configuration
// manager: the root device node is asked to enumerate its children again,
// synchronously, so that a removed controller that is still attached comes
// back before the call returns.
#include <windows.h>
// clang-format off
#include <cfgmgr32.h>
// clang-format on

#include "platform/windows/disk_platform_win.h"

namespace tb::windisk {

bool WindowsPlatform::rescan_devices() {
    DEVINST root = 0;
    if (::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return false;
    return ::CM_Reenumerate_DevNode(root, CM_REENUMERATE_SYNCHRONOUS) == CR_SUCCESS;
}

}  // namespace tb::windisk
