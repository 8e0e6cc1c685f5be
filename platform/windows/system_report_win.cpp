// The report of the Windows machine this program runs on: the version keys
// of the registry, GetComputerNameW, the processor key and
// GetActiveProcessorCount, GlobalMemoryStatusEx, the BIOS key (the
// firmware's SMBIOS strings as Windows keeps them), and the disk's bus from
// the storage descriptor. The PCIe link of a disk is not read here (it
// would take the device's PCI properties through SetupAPI).
#include <windows.h>
// clang-format off
#include <winioctl.h>
// clang-format on

#include <cstdio>
#include <vector>

#include "platform/system_report.h"
#include "platform/windows/disk_ioctl.h"
#include "platform/windows/host_text.h"
#include "platform/windows/registry_key.h"

namespace tb {

namespace {

std::string text_of(const RegistryKey& key, const char* name) {
    std::string v;
    return key.get_text(name, v) ? v : std::string();
}

void read_version(MachineFacts& f) {
    RegistryKey nt(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", false);
    if (!nt.is_open()) return;
    f.os_name = text_of(nt, "ProductName");
    std::string display = text_of(nt, "DisplayVersion");
    if (display.empty()) display = text_of(nt, "ReleaseId");
    const std::string build = text_of(nt, "CurrentBuild");
    f.os_version = display.empty() ? build : display + " (build " + build + ")";
    uint32_t major = 0, minor = 0;
    if (nt.get_number("CurrentMajorVersionNumber", major) && nt.get_number("CurrentMinorVersionNumber", minor))
        f.kernel = std::to_string(major) + "." + std::to_string(minor) + "." + build;
    else
        f.kernel = text_of(nt, "CurrentVersion") + "." + build;
}

void read_firmware(MachineFacts& f) {
    RegistryKey bios(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\BIOS", false);
    if (!bios.is_open()) return;
    f.system_vendor = text_of(bios, "SystemManufacturer");
    f.system_product = text_of(bios, "SystemProductName");
    f.board_vendor = text_of(bios, "BaseBoardManufacturer");
    f.board_name = text_of(bios, "BaseBoardProduct");
    f.bios_vendor = text_of(bios, "BIOSVendor");
    f.bios_version = text_of(bios, "BIOSVersion");
    f.bios_date = text_of(bios, "BIOSReleaseDate");
}

const char* link_of_bus(uint32_t bus) {
    switch (bus) {
        case 17: return "PCIe";  // NVMe
        case 11: return "SATA";
        case 7: return "USB";
        case 10: return "SAS";
        case 8: return "RAID";
        default: return "";
    }
}

class WindowsSystemReport final : public SystemReport {
public:
    MachineFacts machine() override {
        MachineFacts f;
        read_version(f);
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        if (GetComputerNameW(name, &size)) f.host_name = host::wide_to_utf8(name);
        RegistryKey cpu(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", false);
        if (cpu.is_open()) f.cpu_model = text_of(cpu, "ProcessorNameString");
        f.cpu_count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
        MEMORYSTATUSEX memory{};
        memory.dwLength = sizeof memory;
        if (GlobalMemoryStatusEx(&memory)) f.memory_bytes = memory.ullTotalPhys;
        read_firmware(f);
        return f;
    }

    DiskAttachment disk(const std::string& disk_path) override {
        DiskAttachment out;
        host::HostHandle device = windisk::open_device_for_queries(disk_path);
        if (!device) return out;
        STORAGE_PROPERTY_QUERY query{};
        query.PropertyId = StorageDeviceProperty;
        query.QueryType = PropertyStandardQuery;
        std::vector<uint8_t> reply(1024);
        DWORD got = 0;
        if (DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, reply.data(),
                            static_cast<DWORD>(reply.size()), &got, nullptr) &&
            got >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
            const auto* d = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(reply.data());
            out.link = link_of_bus(static_cast<uint32_t>(d->BusType));
        }
        return out;
    }
};

}  // namespace

std::unique_ptr<SystemReport> make_native_system_report() { return std::make_unique<WindowsSystemReport>(); }

}  // namespace tb
