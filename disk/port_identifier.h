// How a disk is named to the user: the protocol name of its pass-through
// path and the port identifier of the connector it sits on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disk/disk_record.h"

namespace tb {

// "-", "ATA", "USBATA", "NVM", "OFANVM", "IRSTNVM", "JMI", "ASM2362",
// "ASM2364", "RTL9210B", "RTL9210", "RAID", "FlashDrv"; "-" for unknown codes.
std::string protocol_name(uint8_t access_protocol);
inline std::string protocol_name(const DiskRecord& r) { return protocol_name(r.access_protocol); }

// "SATA%d" / "SATA%d-%d" (ATA), "USB-%d" (USB paths), "PCIE-%02X:%02X.%X"
// (PCIe NVMe), "-" otherwise.
std::string port_identifier(const DiskRecord& r);

// PCIe location number: bus * 256 + (device * 8 mod 256) + (function mod 8).
uint32_t pci_location(uint32_t bus, uint32_t device, uint32_t function);

// The location number of a LocationInformation value that ends with a
// parenthesised "(bus,device,function)" list in decimal, such as
// "PCI bus 2, device 0, function 0 (2,0,0)"; 0 when it has no such part.
uint32_t parse_location_information(std::string_view text);

// The USB port location of a device: `ports` as found walking up from the
// device (its own port, then the port of each hub below the root hub), then
// the 1-based position of the host controller; the pairs of decimal digits
// are reversed so that the controller stands first and the device's own port
// last (device port 2, hub port 4, controller 1 -> 10402). Ports are below 100.
uint32_t usb_port_location(const std::vector<uint32_t>& ports, uint32_t controller_index);

}  // namespace tb
