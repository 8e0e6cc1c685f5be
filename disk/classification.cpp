#include "disk/classification.h"

#include "common/text.h"
#include "disk/ata_transport.h"
#include "disk/disk_identity.h"

namespace tb {

uint8_t protocol_from_bus(uint32_t bus_type) {
    switch (bus_type) {
        case kBusSata: return kProtoAta;
        case kBusSas: return kProtoUsbAta;
        case kBusNvme: return kProtoOfaNvm;
        case kBusUsb: return kProtoFlashDrv;
        default: return kProtoNone;
    }
}

bool is_inbox_nvme_service(std::string_view service) {
    return iequals(service, "stornvme") || iequals(service, "nvme");
}

uint8_t classify_disk(DiskRecord& record, bool removable) {
    uint8_t protocol = protocol_from_bus(record.bus_type);
    if (is_inbox_nvme_service(record.controller_service)) {
        protocol = kProtoNvm;
        record.controller_name = std::string(kInboxNvmeControllerName);
    } else if ((record.bus_type == kBusRaid || record.bus_type == kBusNvme) &&
               icontains(record.controller_service, "iaStor")) {
        protocol = kProtoIrstNvm;
    } else if (record.bus_type == kBusUsb) {
        protocol = detect_bridge(record);
        if (!removable && (protocol == kProtoFlashDrv || protocol == kProtoJmi) && record.size_b != 0) {
            DriveIdentity id = read_ata_identity(record, protocol);
            if (id.ok && !id.model.empty()) protocol = kProtoUsbAta;
        }
    }
    record.access_protocol = protocol;
    return protocol;
}

}  // namespace tb
