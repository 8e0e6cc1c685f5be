// Walking damaged NTFS volumes: bytes of the boot sector, of file records
// and of index records are changed at random (a fixed seed, a bounded number
// of rounds) and every part of the walker runs over the result. Whatever it
// meets, it must end with an answer or a reason, never read outside its
// buffers (the sanitizer build checks) or crash.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "files/ntfs_directory.h"
#include "files/ntfs_file_data.h"
#include "files/ntfs_lookup.h"
#include "files/ntfs_owner.h"
#include "files/ntfs_path.h"
#include "files/ntfs_volume.h"

namespace tb::test {

// A byte range of the image worth damaging.
struct FuzzRegion {
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct FuzzCounts {
    int opened = 0;   // rounds whose volume still opened
    int refused = 0;  // rounds refused with a reason
};

// Runs every walker step over `image` once.
inline void walk_everything(std::vector<uint8_t> image, const std::vector<std::string>& paths, FuzzCounts& counts) {
    ntfs::MemorySectorReader reader(std::move(image));
    ntfs::Volume volume(reader);
    std::string error;
    if (!volume.open(error)) {
        ++counts.refused;
        return;
    }
    ++counts.opened;
    const uint64_t records = std::min<uint64_t>(volume.record_count(), 128);
    for (uint64_t n = 0; n < records; ++n) {
        ntfs::FileRecord r;
        if (!volume.read_record(n, r, error)) continue;
        std::vector<ntfs::PathStep> steps;
        std::string path;
        ntfs::build_path(volume, n, "D:", steps, path, error);
        ntfs::FileData data;
        ntfs::file_data(volume, r, data, error);
        std::vector<ntfs::IndexEntry> entries;
        if (r.directory()) ntfs::directory_entries(volume, r, entries, error);
    }
    const uint64_t sectors = volume.geometry().total_sectors;
    for (uint64_t s = 0; s < sectors && s < 64 * 1024; s += sectors / 16 + 1) {
        ntfs::Owner o;
        ntfs::find_owner(volume, s, o, error);
    }
    for (const std::string& p : paths) {
        uint64_t record = 0;
        ntfs::find_record(volume, ntfs::path_parts(p), record, error);
    }
}

// `rounds` rounds of 1 to 16 changed bytes inside `regions`.
inline FuzzCounts fuzz_walker(const std::vector<uint8_t>& image, const std::vector<FuzzRegion>& regions,
                              const std::vector<std::string>& paths, uint64_t seed, int rounds) {
    std::mt19937_64 random(seed);
    FuzzCounts counts;
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> damaged = image;
        const int changes = 1 + static_cast<int>(random() % 16);
        for (int c = 0; c < changes; ++c) {
            const FuzzRegion& region = regions[random() % regions.size()];
            const uint64_t at = region.offset + random() % region.length;
            if (at >= damaged.size()) continue;
            switch (random() % 3) {
                case 0: damaged[at] = static_cast<uint8_t>(random()); break;
                case 1: damaged[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
                default: damaged[at] = random() % 2 ? 0xFF : 0x00; break;
            }
        }
        walk_everything(std::move(damaged), paths, counts);
    }
    return counts;
}

}  // namespace tb::test
