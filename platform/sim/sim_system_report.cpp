#include "platform/sim/sim_system_report.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/disk_device.h"
#include "platform/pcie_link_status.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"

namespace tb::sim {

namespace {

std::optional<uint32_t> drive_number(const std::string& path) {
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    unsigned n = 0;
    char tail = 0;
    if (std::sscanf(upper.c_str(), "\\\\.\\PHYSICALDRIVE%u%c", &n, &tail) != 1) return std::nullopt;
    return n;
}

std::string hex4(uint32_t v) {
    char s[8];
    std::snprintf(s, sizeof s, "%04X", v & 0xFFFF);
    return s;
}

void pcie_link(uint32_t number, DiskAttachment& out) {
    out.link = "PCIe";
    std::vector<uint8_t> config, port;
    if (!disk_platform().read_pci_config(number, false, config)) return;
    if (const auto state = pcie_link_state(config)) {
        out.link_speed = pcie_speed_text(state->speed);
        out.link_width = "x" + std::to_string(state->width);
        out.max_link_speed = pcie_speed_text(state->max_speed);
        out.max_link_width = "x" + std::to_string(state->max_width);
    }
    if (disk_platform().read_pci_config(number, true, port) && port.size() >= 4)
        out.bridge = "PCIe root port " + hex4(port[0] | port[1] << 8) + ":" + hex4(port[2] | port[3] << 8);
}

class SimSystemReport final : public SystemReport {
public:
    MachineFacts machine() override {
        MachineFacts f;
        f.os_name = "Simulated Windows 10 Pro";
        f.os_version = "22H2 (build 19045)";
        f.kernel = "10.0.19045";
        f.host_name = "TAMBLOR-SIM";
        f.cpu_model = "Simulated x86-64 Processor @ 3.00GHz";
        f.cpu_count = 8;
        f.memory_bytes = 16ull << 30;
        f.system_vendor = "Tamblor";
        f.system_product = "Simulated Test PC";
        f.board_vendor = "Tamblor";
        f.board_name = "SIM-BOARD";
        f.bios_vendor = "Tamblor";
        f.bios_version = "SIM.1.0";
        f.bios_date = "01/01/2024";
        return f;
    }

    DiskAttachment disk(const std::string& disk_path) override {
        DiskAttachment out;
        SimMachine* machine = current_sim_machine();
        const std::optional<uint32_t> number = drive_number(disk_path);
        std::shared_ptr<SimDisk> disk = machine && number ? machine->system_disk(*number) : nullptr;
        std::optional<DiscoveredDisk> found = disk ? disk->discovered() : std::nullopt;
        if (!found) return out;
        out.driver = found->controller_service;
        out.driver_version = found->driver_version;
        if (disk->config().behind_bridge()) {
            out.link = "USB";
            out.link_speed = "5000 Mbps";
            const std::string& id = found->controller_instance;  // USB\VID_xxxx&PID_xxxx\serial
            const size_t end = id.find('\\', 4);
            out.bridge = found->friendly_name + " (" + id.substr(4, end == std::string::npos ? end : end - 4) + ")";
        } else if (disk->config().type == DiskType::Nvme) {
            pcie_link(*number, out);
        } else {
            out.link = "SATA";
            out.link_speed = "6.0 Gbps";
            out.bridge = found->controller_name;
        }
        return out;
    }
};

}  // namespace

std::unique_ptr<SystemReport> make_sim_system_report() { return std::make_unique<SimSystemReport>(); }

}  // namespace tb::sim
