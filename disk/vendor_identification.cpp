#include "disk/vendor_identification.h"

namespace tb {

namespace {

uint32_t read_nothing(DiskRecord& record) {
    record.soc_id = 0;
    record.command_set = 0;
    return 0;
}

VendorIdentifier g_identifier = nullptr;

}  // namespace

void set_vendor_identifier(VendorIdentifier identifier) { g_identifier = identifier; }

uint32_t identify_vendor(DiskRecord& record) {
    if (!is_ata_protocol(record.access_protocol) && !is_nvme_protocol(record.access_protocol)) return 0;
    return (g_identifier ? g_identifier : read_nothing)(record);
}

}  // namespace tb
