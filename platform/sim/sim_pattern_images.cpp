#include "platform/sim/sim_pattern_images.h"

#include <cstring>
#include <span>
#include <string_view>

#include "platform/sim/sim_common.h"

namespace tb::sim {

namespace {

std::vector<uint8_t> ramp(size_t n) {
    std::vector<uint8_t> d(n);
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(i);
    return d;
}

void put_text(std::vector<uint8_t>& d, size_t at, size_t width, std::string_view text, uint8_t fill) {
    for (size_t i = 0; i < width; ++i) d[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : fill;
}

void integrity(std::vector<uint8_t>& d) {
    d[510] = 0xA5;
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < d.size(); ++i) sum = static_cast<uint8_t>(sum + d[i]);
    d[511] = static_cast<uint8_t>(-sum);
}

constexpr uint8_t kAttributeIds[] = {0x01, 0x05, 0x09, 0x0C, 0xAB, 0xAC, 0xAD, 0xAE,
                                     0xB8, 0xBB, 0xC2, 0xC7, 0xEA, 0xF1, 0xF2, 0xF5};

}  // namespace

std::vector<uint8_t> pattern_identify_controller() {
    std::vector<uint8_t> d = ramp(4096);
    put_text(d, 4, 20, "PATSN-0123456789ABCD", ' ');
    put_text(d, 24, 40, "TAMBLOR PATTERN NVME CONTROLLER", ' ');
    put_text(d, 64, 8, "PATFW-01", ' ');
    put_text(d, 768, 256, "nqn.2026-12.sim.tamblor:pattern:controller", 0);
    return d;
}

std::vector<uint8_t> pattern_identify_namespace() {
    std::vector<uint8_t> d = ramp(4096);
    std::span<uint8_t> b(d);
    put_le64(b, 0, 0x0000000001D1C0BEull);   // NSZE
    put_le64(b, 8, 0x0000000001D1C000ull);   // NCAP
    put_le64(b, 16, 0x0000000000123456ull);  // NUSE
    d[25] = 63;                               // NLBAF: 64 formats
    d[26] = 0x23;                             // FLBAS: format 19 (bits 6-5 = 1, bits 3-0 = 3)
    for (unsigned n = 0; n < 64; ++n) {
        const size_t at = 128 + 4 * n;
        put_le16(b, at, static_cast<uint16_t>(n));       // MS
        d[at + 2] = static_cast<uint8_t>(9 + n % 4);     // LBADS: 512 .. 4096
        d[at + 3] = static_cast<uint8_t>(n % 4);         // RP
    }
    return d;
}

std::vector<uint8_t> pattern_smart_log() { return ramp(512); }

std::vector<uint8_t> pattern_ata_identify() {
    std::vector<uint8_t> d(512);
    std::span<uint8_t> b(d);
    for (size_t w = 0; w < 256; ++w) put_le16(b, w * 2, static_cast<uint16_t>((w << 8) | (255 - w)));
    put_ata_string(b, 10, 10, "PATSN-ATA-0123456789");
    put_ata_string(b, 23, 4, "PATFW-02");
    put_ata_string(b, 27, 20, "TAMBLOR PATTERN ATA DEVICE");
    put_ata_string(b, 170, 4, "PATPID01");
    put_ata_string(b, 176, 30, "PATTERN MEDIA SERIAL NUMBER");
    integrity(d);
    return d;
}

std::vector<uint8_t> pattern_ata_smart_data() {
    std::vector<uint8_t> d(512, 0);
    std::span<uint8_t> b(d);
    put_le16(b, 0, 0x0010);  // revision
    for (size_t i = 0; i < std::size(kAttributeIds); ++i) {
        const size_t at = 2 + 12 * i;
        d[at] = kAttributeIds[i];
        put_le16(b, at + 1, static_cast<uint16_t>(0x0030 + i));  // flags
        d[at + 3] = static_cast<uint8_t>(100 - i);               // current
        d[at + 4] = static_cast<uint8_t>(90 - i);                // worst
        for (size_t r = 0; r < 6; ++r) d[at + 5 + r] = static_cast<uint8_t>(((i + 1) << 4) | r);
    }
    d[363] = 0x25;  // self-test status 2, 50 % remaining
    d[367] = 0x5B;  // off-line capability: self-test supported
    d[372] = 2;     // short self-test minutes
    d[373] = 45;    // extended self-test minutes
    uint8_t sum = 0;
    for (size_t i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + d[i]);
    d[511] = static_cast<uint8_t>(-sum);
    return d;
}

std::vector<uint8_t> pattern_ata_smart_thresholds() {
    std::vector<uint8_t> d(512, 0);
    put_le16(std::span<uint8_t>(d), 0, 0x0010);
    for (size_t i = 0; i < std::size(kAttributeIds); ++i) {
        const size_t at = 2 + 12 * i;
        d[at] = kAttributeIds[i];
        d[at + 1] = static_cast<uint8_t>(i + 1);
    }
    uint8_t sum = 0;
    for (size_t i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + d[i]);
    d[511] = static_cast<uint8_t>(-sum);
    return d;
}

}  // namespace tb::sim
