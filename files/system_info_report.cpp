#include "files/system_info_report.h"

#include "common/format.h"
#include "disk/port_identifier.h"

namespace tb {

namespace {

std::string line(const char* key, const std::string& value) {
    return fmt("%-26s: %s", key, value.empty() ? std::string("-") : value);
}

}  // namespace

std::vector<std::string> machine_report_lines(const MachineFacts& f) {
    return {
        line("OS Name", f.os_name),
        line("OS Version", f.os_version),
        line("Kernel", f.kernel),
        line("Host Name", f.host_name),
        line("CPU Model", f.cpu_model),
        line("CPU Count", fmt("%u", f.cpu_count)),
        line("Memory MB", fmt("%I64u", f.memory_bytes >> 20)),
        line("System Vendor", f.system_vendor),
        line("System Product", f.system_product),
        line("Board Vendor", f.board_vendor),
        line("Board Name", f.board_name),
        line("BIOS Vendor", f.bios_vendor),
        line("BIOS Version", f.bios_version),
        line("BIOS Date", f.bios_date),
    };
}

std::vector<std::string> disk_report_lines(const DiskRecord& t, const DiskAttachment& a) {
    return {
        line("Disk", t.physical_path),
        line("Disk Model", t.model_name),
        line("Disk Firmware", t.firmware_revision),
        line("Disk Protocol", protocol_name(t)),
        line("Disk Port", port_identifier(t)),
        line("Controller", t.controller_name),
        line("Driver", a.driver.empty() ? t.controller_service : a.driver),
        line("Driver Version", a.driver_version.empty() ? t.driver_version : a.driver_version),
        line("Link", a.link),
        line("Link Speed", a.link_speed),
        line("Link Width", a.link_width),
        line("Max Link Speed", a.max_link_speed),
        line("Max Link Width", a.max_link_width),
        line("Bridge", a.bridge),
    };
}

}  // namespace tb
