#include "disk/port_identifier.h"

#include <array>
#include <cctype>

#include "common/format.h"

namespace tb {

std::string protocol_name(uint8_t access_protocol) {
    switch (access_protocol) {
        case kProtoAta: return "ATA";
        case kProtoUsbAta: return "USBATA";
        case kProtoNvm: return "NVM";
        case kProtoOfaNvm: return "OFANVM";
        case kProtoIrstNvm: return "IRSTNVM";
        case kProtoJmi: return "JMI";
        case kProtoAsm2362: return "ASM2362";
        case kProtoAsm2364: return "ASM2364";
        case kProtoRtl9210B: return "RTL9210B";
        case kProtoRtl9210: return "RTL9210";
        case kProtoRaid: return "RAID";
        case kProtoFlashDrv: return "FlashDrv";
        default: return "-";
    }
}

std::string port_identifier(const DiskRecord& r) {
    switch (r.access_protocol) {
        case kProtoAta:
            if (r.scsi_target_lun != 0) return fmt("SATA%d-%d", r.scsi_path_id, r.scsi_target_lun);
            return fmt("SATA%d", r.scsi_path_id);
        case kProtoUsbAta:
        case kProtoJmi:
        case kProtoAsm2362:
        case kProtoAsm2364:
        case kProtoRtl9210B:
        case kProtoRtl9210:
        case kProtoFlashDrv:
            return fmt("USB-%d", r.port_location % 100);
        case kProtoNvm:
        case kProtoOfaNvm:
        case kProtoIrstNvm:
            return fmt("PCIE-%02X:%02X.%X", (r.port_location >> 8) & 0xFF, (r.port_location >> 3) & 0x1F,
                       r.port_location & 7);
        default: return "-";
    }
}

uint32_t pci_location(uint32_t bus, uint32_t device, uint32_t function) {
    return bus * 256 + (device * 8) % 256 + function % 8;
}

uint32_t parse_location_information(std::string_view text) {
    // The list must close the text (trailing blanks aside).
    size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string_view::npos || text[end] != ')') return 0;
    size_t open = text.rfind('(', end);
    if (open == std::string_view::npos) return 0;
    std::string_view inner = text.substr(open + 1, end - open - 1);

    std::array<uint32_t, 3> parts{};
    size_t count = 0, i = 0;
    while (count < parts.size()) {
        while (i < inner.size() && inner[i] == ' ') ++i;
        size_t start = i;
        uint64_t v = 0;
        while (i < inner.size() && std::isdigit(static_cast<unsigned char>(inner[i]))) {
            v = v * 10 + static_cast<uint64_t>(inner[i] - '0');
            if (v > 0xFFFFFFFFull) return 0;
            ++i;
        }
        if (i == start) return 0;
        parts[count++] = static_cast<uint32_t>(v);
        while (i < inner.size() && inner[i] == ' ') ++i;
        if (count < parts.size()) {
            if (i >= inner.size() || inner[i] != ',') return 0;
            ++i;
        }
    }
    if (i != inner.size()) return 0;
    return pci_location(parts[0], parts[1], parts[2]);
}

uint32_t usb_port_location(const std::vector<uint32_t>& ports, uint32_t controller_index) {
    uint32_t location = controller_index % 100;
    for (auto it = ports.rbegin(); it != ports.rend(); ++it) location = location * 100 + *it % 100;
    return location;
}

}  // namespace tb
