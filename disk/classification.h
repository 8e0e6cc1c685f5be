// Which pass-through path serves a discovered disk (its access protocol).
#pragma once

#include <cstdint>
#include <string_view>

#include "disk/disk_record.h"
#include "platform/disk_device.h"

namespace tb {

// The controller name given to disks behind the inbox NVMe driver.
constexpr std::string_view kInboxNvmeControllerName = "Standard NVM Express Controller";

// The first guess from the storage bus: SATA 1, SAS 2, NVMe 11, USB 21, else 0.
uint8_t protocol_from_bus(uint32_t bus_type);

// Whether the parent's service is the inbox NVMe driver: "stornvme", or the
// kernel's "nvme" driver that plays the same role on Linux (any case).
bool is_inbox_nvme_service(std::string_view service);

// Classifies a disk whose paths, bus type and controller texts are already in
// `record`: the inbox NVMe driver gives 10 (and renames the controller), an
// Intel RST driver ("iaStor") on the RAID or NVMe bus 12, a USB disk the
// bridge detection's verdict, where a fixed disk that answers ATA IDENTIFY
// with a model behind an unknown or JMicron bridge is a SATA bridge (2).
// Sets and returns record.access_protocol.
uint8_t classify_disk(DiskRecord& record, bool removable);

}  // namespace tb
