#include "disk/disk_identity.h"

#include <array>
#include <span>

#include "disk/ata_identify.h"
#include "disk/nvme_transport.h"

namespace tb {

namespace {


// Identify text bytes as ANSI text (here: Latin-1), trimmed of blanks and NULs.
std::string ansi_text(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        if (b == 0) {
            out += ' ';
        } else if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    size_t last = out.find_last_not_of(' ');
    return out.substr(first, last - first + 1);
}

}  // namespace

DriveIdentity read_ata_identity(const DiskRecord& record, uint8_t access_protocol) {
    DriveIdentity id;
    AtaIdentifySummary summary;
    if (read_identify_summary(record, access_protocol, summary) != 1) return id;
    id.ok = true;
    id.model = summary.model;
    id.serial = summary.serial;
    id.firmware = summary.firmware;
    id.supports_trim = summary.trim_supported;
    return id;
}

DriveIdentity read_drive_identity(const DiskRecord& record) {
    if (is_ata_protocol(record.access_protocol)) return read_ata_identity(record, record.access_protocol);
    DriveIdentity id;
    std::array<uint8_t, kIdentifyLength> data{};
    if (nvme_identify(record, kCnsController, 0, data) != kNvmeOk) return id;
    std::span<const uint8_t> d(data);
    id.ok = true;
    id.pci_vendor_id = static_cast<uint32_t>(d[0]) | (static_cast<uint32_t>(d[1]) << 8);
    id.serial = ansi_text(d.subspan(4, 20));
    id.model = ansi_text(d.subspan(24, 40));
    id.firmware = ansi_text(d.subspan(64, 8));
    constexpr size_t kOncs = 520;
    constexpr uint8_t kOncsDatasetManagement = 0x04;
    id.supports_trim = (d[kOncs] & kOncsDatasetManagement) != 0;
    return id;
}

}  // namespace tb
