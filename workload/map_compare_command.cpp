// Compare_MapCompare: the disk checked against a played map.
#include <string>

#include "common/file_handle.h"
#include "common/format.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "ui/job_log.h"
#include "workload/aligned_buffer.h"
#include "workload/command_support.h"
#include "workload/map_classify.h"
#include "workload/map_command_support.h"
#include "workload/map_commands.h"
#include "workload/map_detail_csv.h"
#include "workload/map_job_memory.h"
#include "workload/map_progress.h"
#include "workload/map_replay.h"
#include "workload/map_run_chart.h"
#include "workload/map_unit_reader.h"

namespace tb {

namespace {

constexpr uint32_t kReadDepth = 128;

constexpr ArgSpec kCompareSpecs[] = {
    {"LBAMap", "", ArgType::Text, ""},
    {"BasePattern", "", ArgType::Text, "0"},
    {"WritePattern", "", ArgType::Text, "0x55AA33CC"},
};

// The progress record of the map's play: nullopt with no record (a map
// played to its end); false with the error raised when it is damaged or
// belongs to another map.
bool progress_of(int slot, const std::string& map_path, const LbaMap& map, std::optional<MapProgress>& out) {
    bool damaged = false;
    const std::string path = progress_path_for(map_path);
    out = load_map_progress(path, &damaged);
    if (damaged) {
        raise_error(slot, kErrInvalidData, fmt("%s cannot be read as a map progress record", path));
        return false;
    }
    if (out && out->map_records != map.records.size()) {
        raise_error(slot, kErrInvalidData, fmt("%s belongs to a map of %u records", path, out->map_records));
        return false;
    }
    return true;
}

// The detail file, opened with its header at the first wrong unit.
class DetailFile {
public:
    DetailFile(std::string path, uint32_t request_bytes) : path_(std::move(path)), request_bytes_(request_bytes) {}
    bool add(const DetailBlock& block) {
        if (!file_) {
            file_ = FileHandle::open(path_, "wb");
            if (!file_ || !put(detail_csv_header(request_bytes_))) return false;
        }
        return put(detail_csv_block(block));
    }
    const std::string& path() const { return path_; }

private:
    bool put(const std::string& s) { return std::fwrite(s.data(), 1, s.size(), file_.get()) == s.size(); }
    std::string path_;
    uint32_t request_bytes_;
    FileHandle file_;
};

void print_counts(int slot, const SectorCounts& c) {
    const auto n = [](uint64_t v) { return static_cast<int64_t>(v); };
    log_text(slot, fmt("Miscompare - All 0x00 Sectors    : %d", n(c.zeros)));
    log_text(slot, fmt("Miscompare - As Old Data Sectors : %d", n(c.old_data)));
    log_text(slot, fmt("Miscompare - Miscompare Sectors  : %d", n(c.miscompare)));
    log_text(slot, fmt("Read IO Fail Sectors             : %d", n(c.read_fail)));
    log_text(slot, fmt("Total Error Sectors              : %d", n(c.errors())));
    log_text(slot, fmt("Lost Unflushed Sectors           : %d", n(c.lost_unflushed)));
    log_text(slot, fmt("Lost Durable Sectors             : %d", n(c.lost_durable)));
}

}  // namespace

void cmd_Compare_MapCompare(int slot, const std::string& args, const std::string& name) {
    if (!require_raw_mode(slot)) return;
    std::optional<CommandArgs> a = read_args(slot, args, name, kCompareSpecs);
    if (!a) return;
    CompareSetup setup;
    setup.sector_size = job_sector_size();
    if (!pattern_from_text(slot, a->text("BasePattern"), setup.base_pattern, "Cannot support AUTO BasePattern") ||
        !pattern_from_text(slot, a->text("WritePattern"), setup.write_pattern, "Cannot support AUTO Pattern"))
        return;
    std::string path = a->text("LBAMap");
    LbaMap map;
    std::optional<MapProgress> progress;
    if (!load_map_for_disk(slot, path, map) || !progress_of(slot, path, map, progress)) return;
    MapReplay replay;
    if (!replay.build(map, progress ? &*progress : nullptr)) {
        raise_error(slot, kErrHostMemory, name);
        return;
    }
    // Remember the base data for a later recover, in this process and the next.
    map_job_memory(slot) = MapJobMemory{path, setup.base_pattern};
    if (progress) {
        progress->base_pattern = setup.base_pattern;
        save_map_progress(progress_path_for(path), *progress);
    }
    std::unique_ptr<IoTarget> target = open_map_target(slot);
    if (!target) return;

    const uint32_t ss = setup.sector_size;
    const uint32_t unit_bytes = map.header.request_size;
    // The chart takes its name before the detail file does, so that the
    // two never share one ("<base>.CSV" of the series, "<base>.csv" of the
    // details: one file where names ignore case).
    MapRunChart chart(slot, unit_bytes);
    SectorCounts total;
    DetailFile detail(output_stem(slot) + ".csv", unit_bytes);
    AlignedBuffer again(unit_bytes);
    bool detail_failed = false;
    uint64_t reached = map.header.region_start;
    UnitReadPlan plan;
    plan.region_start = map.header.region_start;
    plan.unit_bytes = unit_bytes;
    plan.units = map.header.units();
    plan.depth = kReadDepth;
    plan.stop = [slot]() { return cancel_requested(slot); };
    uint64_t visited = 0;
    const auto percent = [&]() { return plan.units ? static_cast<uint32_t>(visited * 100 / plan.units) : 100u; };
    plan.tick = [&](uint64_t) { chart.update(0, visited * unit_bytes, percent()); };
    const int32_t rc = read_units(*target, plan, [&](uint64_t unit, std::span<const uint8_t> data) {
        ++visited;
        reached = replay.unit_offset(unit);
        UnitClassification c = data.empty() ? classify_unreadable(replay, unit, setup)
                                            : classify_unit(replay, unit, data, setup);
        total.add(c.counts);
        if (c.first_wrong < 0) return true;
        const uint64_t offset = replay.unit_offset(unit);
        const size_t at = static_cast<size_t>(c.first_wrong) * ss;
        IoRequest req{IoOp::Read, offset, again.data(), unit_bytes};
        const bool second_ok = io_sync(*target, req) == static_cast<int32_t>(unit_bytes);
        DetailBlock b;
        b.unit_lba = offset / ss;
        b.counts = c.counts;
        b.error_lba = b.unit_lba + static_cast<uint64_t>(c.first_wrong);
        b.expected = std::span<const uint8_t>(c.expected).subspan(at, ss);
        if (!data.empty()) b.read1 = data.subspan(at, ss);
        if (second_ok) b.read2 = std::span<const uint8_t>(again.data() + at, ss);
        if (!detail.add(b)) detail_failed = true;
        return true;
    });
    chart.finish(0, visited * unit_bytes);
    if (rc != 1) {
        raise_at_position(slot, rc, reached);
        return;
    }
    if (cancel_requested(slot)) log_text(slot, kCancelCommandText);
    print_counts(slot, total);
    if (total.errors() > 0) {
        write_line(slot, "Detail Data for each error commands.", LineFormat::Normal, 10, colour::kWhite, LineKind::Text,
                   detail.path());
        if (detail_failed) raise_error(slot, kErrOutputFile, detail.path());
    }
    set_result_number(slot, name, static_cast<int64_t>(total.errors()));
}

}  // namespace tb
