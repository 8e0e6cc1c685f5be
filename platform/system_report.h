// What the test PC is, for the report labs attach to every log: the
// operating system, processor, memory, board and BIOS, and how the target
// disk is attached (its driver, its link, the bridge in front of it).
//
// Which machine: the one of the disks in use. On the simulated machine the
// machine facts are fixed and the disk's come from the simulated disk; on
// Linux from /proc, /sys (DMI, PCIe link, SATA link, USB); on Windows from
// the registry, GetSystemInfo and GlobalMemoryStatusEx. Tests install
// their own with set_system_report.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tb {

struct MachineFacts {
    std::string os_name;        // "Debian GNU/Linux 12 (bookworm)", "Windows 10 Pro"
    std::string os_version;     // "12", "22H2 (build 19045)"
    std::string kernel;         // "6.1.0-18-amd64", "10.0.19045"
    std::string host_name;
    std::string cpu_model;
    uint32_t cpu_count = 0;     // logical processors
    uint64_t memory_bytes = 0;  // installed, as the system counts it
    std::string system_vendor;  // DMI sys_vendor
    std::string system_product;
    std::string board_vendor;
    std::string board_name;
    std::string bios_vendor;
    std::string bios_version;
    std::string bios_date;
};

// How a disk is attached; texts are empty where the machine cannot tell.
struct DiskAttachment {
    std::string driver;          // "nvme", "ahci", "uas", "stornvme"
    std::string driver_version;
    std::string link;            // "PCIe", "SATA", "USB"
    std::string link_speed;      // "8.0 GT/s PCIe", "6.0 Gbps", "5000 Mbps"
    std::string link_width;      // "x4" (PCIe only)
    std::string max_link_speed;
    std::string max_link_width;
    std::string bridge;          // the USB bridge, or the PCIe port the disk hangs off
};

class SystemReport {
public:
    virtual ~SystemReport() = default;
    virtual MachineFacts machine() = 0;
    // The disk the disk table names `disk_path` ("\\.\PHYSICALDRIVE%d").
    virtual DiskAttachment disk(const std::string& disk_path) = 0;
};

// The report in use: the one installed by set_system_report, else the one
// of the disk machine in use.
SystemReport& system_report();
// Installs a report (tests); nullptr goes back to the default.
void set_system_report(std::unique_ptr<SystemReport> report);

// This machine's own (platform/linux or platform/windows).
std::unique_ptr<SystemReport> make_native_system_report();

}  // namespace tb
