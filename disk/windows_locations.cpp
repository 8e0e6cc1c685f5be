#include "disk/windows_locations.h"

#include <cctype>

#include "common/text.h"
#include "disk/port_identifier.h"
#include "platform/disk_device.h"

namespace tb::winreq {

uint32_t usb_port_from_location(std::string_view text) {
    constexpr std::string_view kPort = "Port_#";
    const size_t at = ifind(text, kPort);
    if (at == std::string_view::npos) return 0;
    uint32_t port = 0;
    for (size_t i = at + kPort.size(); i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        port = port * 10 + static_cast<uint32_t>(text[i] - '0');
        if (port > 0xFFFF) return 0;
    }
    return port;
}

bool is_root_hub_instance(std::string_view instance_id) {
    return instance_id.size() >= 12 && iequals(instance_id.substr(4, 8), "ROOT_HUB");
}

bool adds_usb_port(std::string_view instance_id) {
    return istarts_with(instance_id, "USB\\") && !is_root_hub_instance(instance_id);
}

uint32_t port_location_for(uint32_t bus_type, const LocationSources& s) {
    switch (bus_type) {
        case kBusNvme:
        case kBusRaid: return parse_location_information(s.pci_location_information);
        case kBusUsb: return s.usb_controller_index ? usb_port_location(s.usb_ports, s.usb_controller_index) : 0;
        case kBusSata: return s.bus_address >> 16;
        default: return s.bus_address & 0xFFFF;
    }
}

}  // namespace tb::winreq
