// The client trace of JEDEC219A_Client: its text format, the analysis of
// what it touches, and the slice map that scales it onto a target range.
//
// A trace is one command per line: a word, a decimal LBA and a decimal
// count of 512-byte sectors. "$write" writes, "$trims" trims, any other word
// flushes the cache. The trace's address space is 6106 slices of 20 MiB
// (40,960 sectors); slices that any write or trim touches are "hot".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

constexpr uint32_t kTraceSliceSectors = 40960;
constexpr uint32_t kTraceSlices = 6106;

enum class TraceOp : uint8_t { Write, Trim, Flush };

struct TraceCommand {
    TraceOp op = TraceOp::Flush;
    uint64_t lba = 0;
    uint32_t sectors = 0;
};

struct TraceSummary {
    uint64_t commands = 0, writes = 0, trims = 0, flushes = 0;
    uint64_t write_sectors = 0, trim_sectors = 0;
    uint32_t max_write = 0, max_trim = 0;
};

// Parses the text; lines that do not hold a word and two numbers are
// skipped. `progress` (0..100) is called whenever the percentage changes.
std::vector<TraceCommand> parse_trace(std::string_view text, void (*progress)(int, void*) = nullptr,
                                      void* context = nullptr);

void add_to_summary(TraceSummary& s, const TraceCommand& c);
// The hot slices of the commands (index = slice number).
std::vector<bool> hot_slices(const std::vector<TraceCommand>& commands);

// The lines of a summary: "Total Commands     : %d", the shares of trims,
// writes and flushes, trim and write sizes in GiB, and (with `maxima`) the
// largest write and trim.
std::vector<std::string> summary_lines(const TraceSummary& s, bool maxima);

// Where each trace slice lands on a target of `range_mb`: hot slices keep
// their size, cold ones are compressed or stretched by the cold scale.
struct SliceMap {
    uint64_t target_slices = 0;  // T = range MB / 20 + 1
    uint64_t hot = 0, cold = 0;
    uint64_t scale = 0;           // cold scale in hundredths
    std::vector<uint64_t> start;  // per trace slice: its first target sector (relative to the start LBA)

    // The target sector of a trace LBA.
    uint64_t map(uint64_t trace_lba) const;
};
SliceMap make_slice_map(const std::vector<bool>& hot, uint64_t range_mb);

// "Target Range (MB)  : %d" and "Cold Range Scale X : %d.%02d".
std::vector<std::string> scale_lines(const SliceMap& m, uint64_t range_mb);

}  // namespace tb
