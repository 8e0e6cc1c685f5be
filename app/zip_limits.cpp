#include "app/zip_limits.h"

#include <algorithm>
#include <filesystem>

#include "app/zip_archive.h"
#include "common/format.h"
#include "platform/paths.h"

namespace tb {

std::optional<std::string> entry_over_limits(const ZipEntry& entry, const ZipLimits& limits) {
    const uint64_t size = entry.uncompressed_size;
    if (size > limits.entry_bytes)
        return fmt("entry %s: declares %I64u bytes, over the limit of %I64u for one entry", entry.name,
                   size, limits.entry_bytes);
    const uint64_t packed = std::max<uint64_t>(entry.compressed_size, 1);
    if (entry.method != kZipStored && size > limits.ratio_floor && size > packed * limits.max_ratio)
        return fmt("entry %s: compression ratio %I64u:1 (%I64u bytes from %I64u), over %I64u:1", entry.name,
                   size / packed, size, packed, limits.max_ratio);
    return std::nullopt;
}

std::optional<std::string> archive_over_limits(const std::vector<ZipEntry>& entries, const ZipLimits& limits,
                                               uint64_t free_bytes) {
    uint64_t total = 0;
    for (const ZipEntry& e : entries) {
        if (std::optional<std::string> why = entry_over_limits(e, limits)) return why;
        total += e.uncompressed_size;  // at most 65535 entries of 32-bit sizes: no overflow
    }
    if (total > limits.total_bytes)
        return fmt("the entries declare %I64u bytes together, over the limit of %I64u", total,
                   limits.total_bytes);
    if (total > free_bytes)
        return fmt("the entries need %I64u bytes, the work folder's file system has %I64u free", total,
                   free_bytes);
    return std::nullopt;
}

uint64_t free_space_of(const std::string& folder) {
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(fs_path(folder), ec);
    if (ec || space.available == static_cast<std::uintmax_t>(-1)) return UINT64_MAX;
    return static_cast<uint64_t>(space.available);
}

}  // namespace tb
