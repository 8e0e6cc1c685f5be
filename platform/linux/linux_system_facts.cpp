#include "platform/linux/linux_system_facts.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/host/processor_count.h"

namespace tb::linuxdisk {

namespace {

namespace fs = std::filesystem;

std::string trimmed(std::string s) {
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::string first_line(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    std::getline(in, line);
    return trimmed(line);
}

// "KEY=value" or KEY="value" of an os-release file.
std::string os_release_value(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with(key + "=")) continue;
        std::string v = trimmed(line.substr(key.size() + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
        return v;
    }
    return {};
}

std::string file_text(const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void read_cpu(const fs::path& cpuinfo, MachineFacts& f) {
    std::ifstream in(cpuinfo);
    std::string line;
    uint32_t count = 0;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = trimmed(line.substr(0, colon));
        if (key == "processor") ++count;
        if (f.cpu_model.empty() && (key == "model name" || key == "Model" || key == "cpu model"))
            f.cpu_model = trimmed(line.substr(colon + 1));
    }
    f.cpu_count = count;
}

uint64_t mem_total(const fs::path& meminfo) {
    std::ifstream in(meminfo);
    std::string key;
    uint64_t kib = 0;
    while (in >> key) {
        if (key == "MemTotal:" && in >> kib) return kib * 1024;
        in.ignore(1 << 16, '\n');
    }
    return 0;
}

std::string hex_id(const fs::path& p) {
    std::string v = first_line(p);
    if (v.starts_with("0x")) v = v.substr(2);
    return v;
}

void pcie_link(const fs::path& pci, DiskAttachment& out) {
    out.link = "PCIe";
    out.link_speed = first_line(pci / "current_link_speed");
    const std::string width = first_line(pci / "current_link_width");
    out.link_width = width.empty() ? std::string() : "x" + width;
    out.max_link_speed = first_line(pci / "max_link_speed");
    const std::string max_width = first_line(pci / "max_link_width");
    out.max_link_width = max_width.empty() ? std::string() : "x" + max_width;
    const fs::path port = pci.parent_path();
    if (port.filename().string().find(':') != std::string::npos && fs::exists(port / "vendor"))
        out.bridge = "PCIe port " + port.filename().string() + " (" + hex_id(port / "vendor") + ":" +
                     hex_id(port / "device") + ")";
}

// The "ataN" folder a SATA disk hangs off, from its SCSI device folder.
std::string ata_port_of(const std::string& scsi_device_path) {
    for (fs::path p(scsi_device_path); !p.empty() && p != p.root_path(); p = p.parent_path()) {
        const std::string name = p.filename().string();
        if (name.starts_with("ata") && name.size() > 3 && std::isdigit(static_cast<unsigned char>(name[3])))
            return name.substr(3);
    }
    return {};
}

void sata_link(const ReportRoots& roots, const LinuxDisk& d, DiskAttachment& out) {
    out.link = "SATA";
    const std::string port = ata_port_of(d.scsi_device_path);
    if (!port.empty()) out.link_speed = first_line(fs::path(roots.system.sys) / "class/ata_link" / ("link" + port) / "sata_spd");
    out.bridge = d.info.controller_name;
}

void usb_link(const LinuxDisk& d, DiskAttachment& out) {
    out.link = "USB";
    const fs::path usb(d.usb_device_path);
    const std::string speed = first_line(usb / "speed");
    out.link_speed = speed.empty() ? std::string() : speed + " Mbps";
    const std::string name = trimmed(first_line(usb / "manufacturer") + " " + first_line(usb / "product"));
    out.bridge = (name.empty() ? std::string("USB bridge") : name) + " (" + hex_id(usb / "idVendor") + ":" +
                 hex_id(usb / "idProduct") + ")";
}

}  // namespace

MachineFacts read_machine_facts(const ReportRoots& roots) {
    MachineFacts f;
    const std::string release = file_text(fs::path(roots.etc) / "os-release");
    f.os_name = os_release_value(release, "PRETTY_NAME");
    if (f.os_name.empty()) f.os_name = os_release_value(release, "NAME");
    if (f.os_name.empty()) f.os_name = "Linux";
    f.os_version = os_release_value(release, "VERSION_ID");
    const fs::path kernel = fs::path(roots.proc) / "sys/kernel";
    f.kernel = first_line(kernel / "osrelease");
    f.host_name = first_line(kernel / "hostname");
    read_cpu(fs::path(roots.proc) / "cpuinfo", f);
    if (f.cpu_count == 0) f.cpu_count = host::processor_count();
    f.memory_bytes = mem_total(fs::path(roots.proc) / "meminfo");
    const fs::path dmi = fs::path(roots.system.sys) / "class/dmi/id";
    f.system_vendor = first_line(dmi / "sys_vendor");
    f.system_product = first_line(dmi / "product_name");
    f.board_vendor = first_line(dmi / "board_vendor");
    f.board_name = first_line(dmi / "board_name");
    f.bios_vendor = first_line(dmi / "bios_vendor");
    f.bios_version = first_line(dmi / "bios_version");
    f.bios_date = first_line(dmi / "bios_date");
    return f;
}

DiskAttachment read_disk_attachment(const ReportRoots& roots, const std::string& disk_path) {
    DiskAttachment out;
    const std::vector<LinuxDisk> disks = scan_disks(roots.system);
    const std::optional<size_t> index = disk_for_device_path(disk_path, disks);
    if (!index) return out;
    const LinuxDisk& d = disks[*index];
    out.driver = d.info.controller_service.empty() ? d.pci_driver : d.info.controller_service;
    out.driver_version = d.info.driver_version;
    switch (d.transport) {
        case Transport::Nvme:
            if (!d.pci_path.empty()) pcie_link(d.pci_path, out);
            break;
        case Transport::Sata: sata_link(roots, d, out); break;
        case Transport::Usb: usb_link(d, out); break;
        default:
            if (!d.pci_path.empty()) out.bridge = d.info.controller_name + " (" + fs::path(d.pci_path).filename().string() + ")";
            break;
    }
    return out;
}

}  // namespace tb::linuxdisk
