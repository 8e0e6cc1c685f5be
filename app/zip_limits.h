// Limits on what extracting an archive may write, so that a small archive
// cannot fill the disk: a cap on each entry and on all of them together,
// a cap on the compression ratio of large entries (a real file seldom packs
// better than 100:1, a "zip bomb" packs near deflate's 1032:1), and the free
// space of the file system that receives the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tb {

struct ZipEntry;

struct ZipLimits {
    // A package holds a script, settings, tools and firmware images of a few
    // megabytes; the work folder lies in the temporary folder (often memory)
    // and is written anew at every start, so a gigabyte is already generous.
    uint64_t entry_bytes = uint64_t{1} << 30;  // one entry
    uint64_t total_bytes = uint64_t{2} << 30;  // all entries together
    uint64_t max_ratio = 1000;                 // uncompressed : compressed
    uint64_t ratio_floor = uint64_t{4} << 20;  // entries up to this size may pack better
};

// Why one entry may not be extracted under `limits`, as "entry <name>: ...";
// nothing when it may. Judged by the sizes the entry declares.
std::optional<std::string> entry_over_limits(const ZipEntry& entry, const ZipLimits& limits);

// Why the archive of `entries` may not be extracted onto a file system with
// `free_bytes` available: the first entry over the limits, the total over
// its limit, or more than the free space. Nothing when it may.
std::optional<std::string> archive_over_limits(const std::vector<ZipEntry>& entries, const ZipLimits& limits,
                                               uint64_t free_bytes);

// The bytes an unprivileged writer may still put on the file system of
// `folder`; UINT64_MAX when that cannot be found out.
uint64_t free_space_of(const std::string& folder);

}  // namespace tb
