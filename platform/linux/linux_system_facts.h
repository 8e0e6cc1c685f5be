// The Linux test PC's report: the OS from /etc/os-release, kernel and host
// name from /proc/sys/kernel, processor and memory from /proc, board and
// BIOS from the DMI folder of sysfs; a disk's driver and link from sysfs
// (the PCIe link files of its PCI function, the SATA link of its ATA port,
// the USB device of its bridge). The folders are parameters so that tests
// can give copies.
#pragma once

#include <string>

#include "platform/linux/linux_discovery.h"
#include "platform/system_report.h"

namespace tb::linuxdisk {

struct ReportRoots {
    std::string proc = "/proc";
    std::string etc = "/etc";
    SystemRoots system;  // sysfs and /dev
};

MachineFacts read_machine_facts(const ReportRoots& roots);
DiskAttachment read_disk_attachment(const ReportRoots& roots, const std::string& disk_path);

}  // namespace tb::linuxdisk
