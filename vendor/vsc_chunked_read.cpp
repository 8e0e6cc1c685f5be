#include "vendor/vsc_chunked_read.h"

#include "common/format.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"

namespace tb {

std::optional<std::vector<uint8_t>> read_chunked_log(int slot, const std::string& name, const char* what,
                                                     const ChunkReader& read_chunk,
                                                     const std::function<uint64_t(std::span<const uint8_t>)>& chunk_count) {
    std::vector<uint8_t> log(kLogChunkBytes, 0);
    if (!read_chunk(0, log)) return std::nullopt;
    const uint64_t count = chunk_count(log);
    if (count == 0 || count * kLogChunkBytes > kLargestLogBytes) {
        raise_error(slot, kErrInvalidData, fmt("%s: %s with a bad header (%I64d chunks)", name, what, count));
        return std::nullopt;
    }
    log.resize(static_cast<size_t>(count * kLogChunkBytes), 0);
    const int progress = count > 1 ? log_text(slot, fmt("Read %s 1/%I64d", what, count), colour::kGrey) : -1;
    for (uint64_t i = 1; i < count; ++i) {
        if (cancel_requested(slot)) return std::nullopt;
        std::span<uint8_t> chunk(log.data() + i * kLogChunkBytes, kLogChunkBytes);
        if (!read_chunk(static_cast<uint32_t>(i), chunk)) return std::nullopt;
        rewrite_line(slot, progress, fmt("Read %s %I64d/%I64d", what, i + 1, count));
    }
    return log;
}

std::string megabytes_text(uint64_t bytes) {
    const uint64_t hundredths = bytes * 100 / (1024 * 1024);
    return fmt("%I64d.%02I64d MB", hundredths / 100, hundredths % 100);
}

}  // namespace tb
