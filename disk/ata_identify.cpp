#include "disk/ata_identify.h"
#include "script/error_policy.h"

#include <memory>

#include "common/format.h"
#include "disk/ata_transport.h"
#include "disk/capacity.h"
#include "platform/disk_device.h"

namespace tb {

namespace {

// ANSI (Latin-1 here) bytes to UTF-8.
std::string ansi_to_utf8(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool bit(uint16_t word, int i) { return ((word >> i) & 1) != 0; }

// The highest set bit in first..last, or -1.
int highest_bit(uint16_t word, int first, int last) {
    for (int i = last; i >= first; --i)
        if (bit(word, i)) return i;
    return -1;
}

}  // namespace

uint16_t identify_word(std::span<const uint8_t> data, size_t index) {
    if (2 * index + 1 >= data.size()) return 0;
    return static_cast<uint16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

std::string identify_string(std::span<const uint8_t> data, size_t first_word, size_t words) {
    std::string raw;
    for (size_t w = first_word; w < first_word + words; ++w) {
        const uint16_t v = identify_word(data, w);
        raw.push_back(static_cast<char>(v >> 8));
        raw.push_back(static_cast<char>(v & 0xFF));
    }
    const size_t begin = raw.find_first_not_of(std::string_view(" \0", 2));
    if (begin == std::string::npos) return {};
    const size_t end = raw.find_last_not_of(std::string_view(" \0", 2));
    return ansi_to_utf8(std::string_view(raw).substr(begin, end - begin + 1));
}

AtaIdentifySummary decode_identify(std::span<const uint8_t> data) {
    AtaIdentifySummary s;
    auto w = [&](size_t i) { return identify_word(data, i); };
    s.model = identify_string(data, 27, 20);
    s.serial = identify_string(data, 10, 10);
    s.firmware = identify_string(data, 23, 4);
    s.wwn = fmt("%02X%02X%02X%02X%02X%02X%02X%02X", w(108) >> 8, w(108) & 0xFF, w(109) >> 8, w(109) & 0xFF,
                w(110) >> 8, w(110) & 0xFF, w(111) >> 8, w(111) & 0xFF);
    s.capacity28 = w(60) | (static_cast<uint32_t>(w(61)) << 16);
    const uint32_t low = w(100) | (static_cast<uint32_t>(w(101)) << 16);
    const uint32_t high = w(102) | (static_cast<uint32_t>(w(103)) << 16);
    s.sectors48 = (static_cast<uint64_t>(high) << 32) | low;
    s.sectors48_text = fmt("0x%08X%08X", high, low);
    s.lba48_supported = bit(w(83), 10);
    // Disk sizes are taken from the 48-bit count; the 28-bit one is the
    // measure of a drive without the 48-bit feature set.
    const uint64_t sectors = s.lba48_supported || s.sectors48 != 0 ? s.sectors48 : s.capacity28;
    s.capacity_gb = capacity_gb(kAtaSectorBytes, sectors * kAtaSectorBytes);
    s.capacity_binary_gb = static_cast<uint32_t>(sectors * kAtaSectorBytes / 1073741824ULL);
    const uint16_t sec = w(128);
    s.security_supported = bit(sec, 0);
    s.security_enabled = bit(sec, 1);
    s.security_locked = bit(sec, 2);
    s.security_frozen = bit(sec, 3);
    s.security_count_expired = bit(sec, 4);
    s.security_master_capability = bit(sec, 8);
    s.sata_generation = highest_bit(w(76), 1, 3);
    s.sata_current_speed = (w(77) >> 1) & 7;  // a coded value, not a bit set
    s.major_version = highest_bit(w(80), 4, 14);
    for (int i = 6; i >= 0; --i) {
        if (bit(w(88), i) && bit(w(88), i + 8)) {
            s.udma_mode = i;
            break;
        }
    }
    s.write_cache_enabled = bit(w(85), 5);
    s.trim_supported = bit(w(169), 0);
    return s;
}

int read_identify_device(const DiskRecord& record, uint8_t access_protocol, IdentifyData& data) {
    data.fill(0);
    std::unique_ptr<DiskDevice> device = disk_platform().open(record.device_path);
    if (!device) return kErrOpenDisk;
    AtaCommand cmd = make_ata_command(ata_op::kIdentifyDevice, 0, kAtaPioIn, 0, data);
    return send_ata(access_protocol, *device, cmd) ? 1 : kErrReadIO;
}

int read_identify_summary(const DiskRecord& record, uint8_t access_protocol, AtaIdentifySummary& out) {
    IdentifyData data;
    const int rc = read_identify_device(record, access_protocol, data);
    if (rc != 1) return rc;
    out = decode_identify(data);
    return 1;
}

}  // namespace tb
