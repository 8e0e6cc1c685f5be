// Compare_WithPattern: reads a range of the disk in pieces and proves that
// every sector holds the pattern (stamped with its LBA when asked).
#include <algorithm>
#include <limits>

#include "common/format.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "ui/job_log.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"
#include "workload/command_support.h"
#include "workload/compare_report.h"
#include "workload/pattern.h"
#include "workload/range_commands.h"
#include "workload/range_disk.h"

namespace tb {

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
constexpr int64_t kMaxAccessKB = 32768;  // one request of at most 32 MiB

constexpr ArgSpec kSpecs[] = {
    {"LBA", "", ArgType::Number, "0", 0, kNoLimit},
    {"RangeSector", "", ArgType::Number, "1", 0, kNoLimit},
    {"ComparePattern", "", ArgType::Number, "0x55AA33CC", 0, 0xFFFFFFFF},
    {"MarkSectorHeader", "", ArgType::Bool, "TRUE"},
    {"AccessKB", "", ArgType::Number, "16384", 1, kMaxAccessKB},
    {"AccessSector", "", ArgType::Number, "0", 0, kNoLimit},
    {"RangeMB", "", ArgType::Number, "0", 0, kNoLimit / (1 << 20)},
};

struct CompareJob {
    uint64_t lba = 0;
    uint64_t sectors = 0;
    uint32_t pattern = 0;
    bool mark = true;
    uint32_t piece_bytes = 0;
};

// The request size in bytes from AccessKB or AccessSector; 0 after raising -2.
uint32_t piece_size(int slot, const CommandArgs& a, uint32_t sector_size) {
    if (a.given("AccessSector")) {
        const int64_t n = a.number("AccessSector");
        if (n < 1 || n > kMaxAccessKB * 1024 / sector_size) {
            raise_error(slot, kErrParam, fmt("Compare_WithPattern: AccessSector:%I64d out of range (1 to %d)", n,
                                             static_cast<int>(kMaxAccessKB * 1024 / sector_size)));
            return 0;
        }
        return static_cast<uint32_t>(n * sector_size);
    }
    const uint32_t bytes = static_cast<uint32_t>(a.number("AccessKB") * 1024);
    if (bytes % sector_size) {
        raise_error(slot, kErrParam, fmt("Compare_WithPattern: AccessKB must be a whole number of %u-byte sectors",
                                         sector_size));
        return 0;
    }
    return bytes;
}

uint32_t percent_of(uint64_t done, uint64_t total) { return total ? static_cast<uint32_t>(done * 100 / total) : 100; }

// Reads the range piece by piece; fills the report. Returns the LBA reached.
uint64_t compare_range(int slot, RangeDisk& disk, const CompareJob& job, MiscompareReport& report,
                       AlignedBuffer& expected, AlignedBuffer& read1, AlignedBuffer& read2) {
    const uint32_t ss = disk.sector_size();
    pattern_fill(expected.span(), job.pattern);
    uint64_t done = 0;
    int shown = -1;
    while (done < job.sectors) {
        const uint64_t lba = job.lba + done;
        if (cancel_requested(slot)) return lba;
        const uint64_t count = std::min<uint64_t>(job.sectors - done, job.piece_bytes / ss);
        const size_t bytes = static_cast<size_t>(count * ss);
        std::span<uint8_t> want = expected.span().first(bytes);
        if (job.mark) sector_stamp(want, lba * ss, ss);
        report.percent = percent_of(done, job.sectors);
        const int32_t rc = disk.read(lba, read1.span().first(bytes));
        if (rc != 1) {
            report.result = rc;
            return lba;
        }
        if (record_first_read(report, lba, bytes, ss, want, read1.span().first(bytes))) {
            wait_before_second_read();
            std::span<uint8_t> again = read2.span().first(bytes);
            if (disk.read(lba, again) != 1) again = {};
            record_second_read(report, ss, want, again);
            return lba;
        }
        done += count;
        if (static_cast<int>(percent_of(done, job.sectors)) != shown) {
            shown = static_cast<int>(percent_of(done, job.sectors));
            set_status_text(slot, fmt("Compare with Pattern : %d%%", shown));
        }
    }
    report.percent = 100;
    return job.lba + done;
}

}  // namespace

void cmd_Compare_WithPattern(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "Compare_WithPattern", kSpecs);
    if (!a) return;
    CompareJob job;
    job.lba = static_cast<uint64_t>(a->number("LBA"));
    job.pattern = static_cast<uint32_t>(a->number("ComparePattern"));
    job.mark = a->flag("MarkSectorHeader");
    if (job.pattern == kPatternAuto) {
        raise_error(slot, kErrParam, "Cannot support AUTO Pattern");
        return;
    }
    AlignedBuffer expected, read1, read2;  // outlive the disk's queue
    RangeDisk disk;
    if (!disk.open(slot, name)) return;
    const uint32_t ss = disk.sector_size();
    job.sectors = a->given("RangeMB") ? (static_cast<uint64_t>(a->number("RangeMB")) << 20) / ss
                                      : static_cast<uint64_t>(a->number("RangeSector"));
    job.piece_bytes = piece_size(slot, *a, ss);
    if (!job.piece_bytes || !disk.clamp(slot, name, job.lba, job.sectors)) return;
    job.piece_bytes = static_cast<uint32_t>(std::min<uint64_t>(job.piece_bytes, job.sectors * ss));
    if (!expected.allocate(job.piece_bytes) || !read1.allocate(job.piece_bytes) || !read2.allocate(job.piece_bytes)) {
        raise_error(slot, kErrHostMemory, fmt("%s: %u bytes", name, job.piece_bytes));
        return;
    }
    if (!disk.prepare(slot, read1.span())) return;
    MiscompareReport report;
    report.base_path = output_stem(slot);
    const uint64_t reached = compare_range(slot, disk, job, report, expected, read1, read2);
    set_status_text(slot, "");
    if (cancel_requested(slot) && report.result == 1) {
        log_text(slot, kCancelCommandText);
        log_text(slot, current_lba_text(reached));
        return;
    }
    finish_compare(slot, report, reached);
}

}  // namespace tb
