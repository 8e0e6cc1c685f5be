#include "files/ntfs_geometry.h"

#include <cstring>

#include "common/format.h"
#include "files/ntfs_bytes.h"

namespace tb::ntfs {

namespace {

bool power_of_two(uint64_t v) { return v && (v & (v - 1)) == 0; }

// A size byte of the boot sector: clusters when positive, else 2^-n bytes.
uint64_t size_from_byte(int8_t value, uint32_t cluster_size) {
    if (value > 0) return static_cast<uint64_t>(value) * cluster_size;
    if (value < -31 || value == 0) return 0;
    return 1ull << (-value);
}

}  // namespace

bool read_boot_sector(std::span<const uint8_t> sector, Geometry& out, std::string& error) {
    if (sector.size() < 512 || std::memcmp(sector.data() + 3, "NTFS", 4) != 0) {
        error = "NTFS Signature Error";
        return false;
    }
    Geometry g;
    g.sector_size = le16(sector, 11);
    if (g.sector_size < 512 || g.sector_size > 4096 || !power_of_two(g.sector_size)) {
        error = fmt("NTFS Boot Sector Error: %u bytes per sector", g.sector_size);
        return false;
    }
    const uint8_t spc_byte = sector[13];
    // Above 128 the byte holds a negative power of two (large clusters).
    const unsigned exponent = spc_byte > 128 ? 256u - spc_byte : 0;
    const uint64_t spc = spc_byte <= 128 ? spc_byte : exponent <= 16 ? 1ull << exponent : 0;
    if (!power_of_two(spc) || spc * g.sector_size > (2u << 20)) {
        error = fmt("NTFS Boot Sector Error: %u sectors per cluster", static_cast<unsigned>(spc_byte));
        return false;
    }
    g.cluster_size = static_cast<uint32_t>(spc * g.sector_size);
    const uint64_t record = size_from_byte(static_cast<int8_t>(sector[64]), g.cluster_size);
    const uint64_t index = size_from_byte(static_cast<int8_t>(sector[68]), g.cluster_size);
    if (!power_of_two(record) || record < g.sector_size || record > 65536) {
        error = fmt("NTFS Boot Sector Error: MFT record size %I64d", static_cast<int64_t>(record));
        return false;
    }
    if (!power_of_two(index) || index < g.sector_size || index > 65536) {
        error = fmt("NTFS Boot Sector Error: index record size %I64d", static_cast<int64_t>(index));
        return false;
    }
    g.record_size = static_cast<uint32_t>(record);
    g.index_record_size = static_cast<uint32_t>(index);
    g.total_sectors = le64(sector, 40);
    g.mft_cluster = le64(sector, 48);
    if (g.total_sectors < g.sectors_per_cluster() || g.mft_cluster >= g.total_clusters()) {
        error = fmt("NTFS Boot Sector Error: MFT cluster 0x%I64X outside the volume of 0x%I64X sectors", g.mft_cluster,
                    g.total_sectors);
        return false;
    }
    out = g;
    return true;
}

}  // namespace tb::ntfs
