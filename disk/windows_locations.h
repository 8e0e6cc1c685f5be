// How the Windows discovery turns what the configuration manager says about
// a disk's parent devices into its port location number.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tb::winreq {

// The port of a USB device or hub from its location information
// ("Port_#0002.Hub_#0003" -> 2); 0 when the text names no port.
uint32_t usb_port_from_location(std::string_view location_information);

// Whether a device node on the way up from a USB disk adds a port to its
// port path: a USB device or hub (instance "USB\...") below the root hub.
bool adds_usb_port(std::string_view instance_id);

// Whether a USB hub's instance identifier names a root hub ("ROOT_HUB" as
// its characters 5 to 12, as in "USB\ROOT_HUB30\4&...").
bool is_root_hub_instance(std::string_view instance_id);

// What the discovery found about where a disk's controller sits.
struct LocationSources {
    // The parent's LocationInformation value as stored in the registry
    // ("@System32\drivers\pci.sys,#65536;PCI bus %1, device %2, function %3;(2,0,0)").
    std::string_view pci_location_information;
    // Walking up from the USB device: its own port, then each hub's port
    // below the root hub; and the 1-based position of the host controller.
    std::vector<uint32_t> usb_ports;
    uint32_t usb_controller_index = 0;
    // The parent's bus address property.
    uint32_t bus_address = 0;
};

// The port location of a disk on `bus_type`: the PCI location for the NVMe
// and RAID buses, the USB port path for USB, the high half of the bus
// address for SATA (the port), its low half otherwise.
uint32_t port_location_for(uint32_t bus_type, const LocationSources& sources);

}  // namespace tb::winreq
