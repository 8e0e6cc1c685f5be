// FullByPattern: writes a range of the disk with one pattern value (stamped
// with each sector's LBA when asked), 128 KiB at a time.
#include <algorithm>
#include <charconv>
#include <limits>

#include "common/format.h"
#include "common/text.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/value.h"
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
constexpr uint32_t kPieceBytes = 128 * 1024;

constexpr ArgSpec kSpecs[] = {
    {"LBA", "", ArgType::Number, "0", 0, kNoLimit},
    {"RangeMB", "", ArgType::Number, "1024", 0, kNoLimit / (1 << 20)},
    {"Pattern", "", ArgType::Text, "0"},
    {"MarkSectorHeader", "", ArgType::Bool, "TRUE"},
    {"RangeSector", "", ArgType::Number, "0", 0, kNoLimit},
};

// A number as a value prints: decimal, or hex after "0x".
bool parse_u32(std::string_view text, uint32_t& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size();
}

// The pattern key (its value already evaluated to text): a 32-bit number,
// or "AUTO" (one random value for the whole range). False after raising -2.
bool read_pattern(int slot, const std::string& text, uint32_t& out) {
    const std::string_view t = trim_view(text);
    if (iequals(t, "AUTO")) {
        out = kPatternAuto;
        return true;
    }
    if (parse_u32(t, out)) return true;
    raise_error(slot, kErrParam, fmt("FullByPattern: Pattern:%s is neither a 32-bit number nor \"AUTO\"", text));
    return false;
}

uint32_t percent_of(uint64_t done, uint64_t total) { return total ? static_cast<uint32_t>(done * 100 / total) : 100; }

// Writes [lba, lba + sectors) from the filled buffer; 1, or the error code
// with `reached` at the failing LBA (or where the job was stopped).
int32_t write_range(int slot, RangeDisk& disk, uint64_t lba, uint64_t sectors, bool mark, AlignedBuffer& data,
                    uint64_t& reached) {
    const uint32_t ss = disk.sector_size();
    int shown = -1;
    for (uint64_t done = 0; done < sectors;) {
        reached = lba + done;
        if (cancel_requested(slot)) return 1;
        const uint64_t count = std::min<uint64_t>(sectors - done, kPieceBytes / ss);
        std::span<uint8_t> piece = data.span().first(static_cast<size_t>(count * ss));
        if (mark) sector_stamp(piece, reached * ss, ss);
        const int32_t rc = disk.write(reached, piece);
        if (rc != 1) return rc;
        done += count;
        if (static_cast<int>(percent_of(done, sectors)) != shown) {
            shown = static_cast<int>(percent_of(done, sectors));
            set_status_text(slot, fmt("Full By Pattern : %d%%", shown));
        }
    }
    reached = lba + sectors;
    return 1;
}

}  // namespace

void cmd_FullByPattern(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "FullByPattern", kSpecs);
    if (!a) return;
    uint32_t pattern = 0;
    if (!read_pattern(slot, a->text("Pattern"), pattern)) return;
    const uint64_t lba = static_cast<uint64_t>(a->number("LBA"));
    const bool mark = a->flag("MarkSectorHeader");
    AlignedBuffer data;  // outlives the disk's queue
    RangeDisk disk;
    if (!disk.open(slot, name)) return;
    const uint32_t ss = disk.sector_size();
    uint64_t sectors = a->given("RangeSector") && !a->given("RangeMB")
                           ? static_cast<uint64_t>(a->number("RangeSector"))
                           : (static_cast<uint64_t>(a->number("RangeMB")) << 20) / ss;
    if (!disk.clamp(slot, name, lba, sectors)) return;
    if (!data.allocate(std::max(kPieceBytes, ss))) {
        raise_error(slot, kErrHostMemory, fmt("%s: %u bytes", name, kPieceBytes));
        return;
    }
    if (!disk.prepare(slot, data.span())) return;
    const uint32_t used = pattern_fill(data.span(), pattern);
    log_text(slot, fmt("Pattern     : 0x%08X", used));
    uint64_t reached = lba;
    const int32_t rc = write_range(slot, disk, lba, sectors, mark, data, reached);
    set_status_text(slot, "");
    if (rc != 1) {
        const std::string position = current_lba_text(reached);
        log_text(slot, position);
        raise_error(slot, rc, position);
        return;
    }
    if (cancel_requested(slot)) {
        log_text(slot, kCancelCommandText);
        log_text(slot, current_lba_text(reached));
        return;
    }
    set_result_number(slot, name, used, ValueType::Hex);
}

}  // namespace tb
