#include "platform/windows/disk_platform_win.h"

#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

#include "platform/windows/disk_device_win.h"
#include "platform/windows/disk_discovery_win.h"
#include "platform/windows/host_text.h"

namespace tb::windisk {

namespace {

bool change_state(const std::string& instance, DWORD state) {
    HDEVINFO set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) return false;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    const std::wstring id = host::utf8_to_wide(instance);
    bool ok = ::SetupDiOpenDeviceInfoW(set, id.c_str(), nullptr, 0, &info) != FALSE;
    if (ok) {
        SP_PROPCHANGE_PARAMS params{};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = state;
        params.Scope = DICS_FLAG_GLOBAL;
        ok = ::SetupDiSetClassInstallParamsW(set, &info, &params.ClassInstallHeader, sizeof params) &&
             ::SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, &info);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ok;
}

bool remove_instance(const std::string& instance) {
    DEVINST node = 0;
    std::wstring id = host::utf8_to_wide(instance);
    if (::CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return false;
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    wchar_t veto_name[MAX_PATH] = {};
    return ::CM_Query_And_Remove_SubTreeW(node, &veto, veto_name, MAX_PATH, CM_REMOVE_NO_RESTART) == CR_SUCCESS;
}

}  // namespace

std::vector<DiscoveredDisk> WindowsPlatform::discover() { return discover_windows_disks(); }

std::unique_ptr<DiskDevice> WindowsPlatform::open(const std::string& path) { return open_windows_device(path); }

std::string WindowsPlatform::controller_of(uint32_t disk_number) {
    for (const DiscoveredDisk& d : discover())
        if (d.disk_number == disk_number) return d.controller_instance;
    return {};
}

bool WindowsPlatform::set_device_enabled(uint32_t disk_number, bool enable) {
    if (enable) {
        auto it = disabled_.find(disk_number);
        const std::string instance = it != disabled_.end() ? it->second : controller_of(disk_number);
        if (instance.empty() || !change_state(instance, DICS_ENABLE)) return false;
        if (it != disabled_.end()) disabled_.erase(it);
        return true;
    }
    const std::string instance = controller_of(disk_number);
    if (instance.empty() || !change_state(instance, DICS_DISABLE)) return false;
    disabled_[disk_number] = instance;
    return true;
}

bool WindowsPlatform::remove_device(uint32_t disk_number) {
    const std::string instance = controller_of(disk_number);
    return !instance.empty() && remove_instance(instance);
}

std::unique_ptr<DiskPlatform> make_windows_platform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace tb::windisk
