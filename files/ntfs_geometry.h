// The layout of an NTFS volume as its boot sector gives it: sector, cluster,
// file-record and index-record sizes, the volume's length and where the
// master file table starts.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tb::ntfs {

struct Geometry {
    uint32_t sector_size = 512;
    uint32_t cluster_size = 4096;
    uint32_t record_size = 1024;        // one MFT record
    uint32_t index_record_size = 4096;  // one INDX record
    uint64_t total_sectors = 0;
    uint64_t mft_cluster = 0;

    uint32_t sectors_per_cluster() const { return cluster_size / sector_size; }
    uint32_t sectors_per_record() const { return record_size / sector_size; }
    uint64_t total_clusters() const { return total_sectors / sectors_per_cluster(); }
};

// Reads volume sector 0. False with the reason in `error`: "NTFS Signature
// Error" when "NTFS" is missing at byte 3, otherwise a text naming the field
// that no NTFS volume can hold.
bool read_boot_sector(std::span<const uint8_t> sector, Geometry& out, std::string& error);

}  // namespace tb::ntfs
