// Compare_MapWrite, Compare_MapWriteCompare and Compare_MapRecoverBasePattern:
// the commands that play requests on the disk.
#include <algorithm>
#include <filesystem>
#include <set>

#include "common/format.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_slot.h"
#include "ui/job_log.h"
#include "workload/aligned_buffer.h"
#include "workload/command_support.h"
#include "workload/compare_report.h"
#include "workload/map_command_support.h"
#include "workload/map_commands.h"
#include "workload/map_data_policy.h"
#include "workload/map_job_memory.h"
#include "workload/map_player.h"
#include "workload/map_progress.h"
#include "workload/map_run_chart.h"
#include "workload/map_source.h"
#include "workload/pattern.h"

namespace tb {

namespace {

constexpr ArgSpec kWriteSpecs[] = {
    {"LBAMap", "", ArgType::Text, ""},
    {"QD", "", ArgType::Number, "32", 1, 128},
    {"WritePattern", "", ArgType::Text, "0x55AA33CC"},
    {"StepRun", "", ArgType::Number, "0", 0, 86400},
    {"StepDelay", "", ArgType::Number, "0", 0, 86400},
};

constexpr ArgSpec kWriteCompareSpecs[] = {
    {"LBAMap", "", ArgType::Text, ""},
    {"QD", "", ArgType::Number, "32", 1, 128},
    {"WritePattern", "", ArgType::Text, "AUTO"},
    {"StepRun", "", ArgType::Number, "0", 0, 86400},
    {"StepDelay", "", ArgType::Number, "0", 0, 86400},
};

constexpr uint32_t kRecoverDepth = 32;

uint32_t played_percent(size_t handed_out, size_t records) {
    return records ? static_cast<uint32_t>(uint64_t{handed_out} * 100 / records) : 100;
}

// Copies the map, under its own name, into the job's log folder.
void copy_into_log_folder(int slot, const std::string& map_path) {
    JobSlot* js = job_slot(slot);
    if (!js || js->log_folder.empty()) return;
    std::error_code ec;
    std::filesystem::copy_file(native_path(map_path), native_path(path_join(js->log_folder, path_file_name(map_path))),
                               std::filesystem::copy_options::overwrite_existing, ec);
}

void print_play_header(int slot, const std::string& path, const LbaMap& map) {
    const uint32_t ss = job_sector_size();
    log_text(slot, fmt("Select File   : %s", path));
    log_text(slot, fmt("LBA Start     : 0x%08I64X", map.header.region_start / ss));
    log_text(slot, fmt("RangeLenMB    : %I64d", static_cast<int64_t>(map.header.region_length >> 20)));
    log_text(slot, fmt("EachAccessKB  : %d", map.header.request_size / 1024));
}

MapPlayOptions play_options(int slot, const LbaMap& map, uint32_t qd, int64_t step_run, int64_t step_delay) {
    MapPlayOptions o;
    o.queue_depth = qd;
    o.request_size = map.header.request_size;
    o.sector_size = job_sector_size();
    o.step_run_sec = static_cast<uint32_t>(step_run);
    o.step_delay_sec = static_cast<uint32_t>(step_delay);
    o.stop = [slot]() { return cancel_requested(slot); };
    return o;
}

// Every unit a played map wrote or trimmed, in order.
std::vector<uint64_t> touched_units(const LbaMap& map, uint32_t played) {
    std::vector<uint64_t> units;
    for (uint32_t i = 0; i < played && i < map.records.size(); ++i)
        if (map.records[i].action != MapAction::Flush) units.push_back(map.unit_of(map.records[i]));
    std::sort(units.begin(), units.end());
    units.erase(std::unique(units.begin(), units.end()), units.end());
    return units;
}

// Hands out a base-data write for each listed unit.
class UnitListSource final : public RequestSource {
public:
    UnitListSource(const LbaMap& map, const std::vector<uint64_t>& units) : map_(map), units_(units) {}
    Draw next(uint32_t, PlannedIo& out) override {
        Draw d;
        if (next_ >= units_.size()) {
            d.status = DrawStatus::Ended;
            return d;
        }
        out = PlannedIo{};
        out.action = IoAction::Write;
        out.offset = map_.unit_offset(units_[next_]);
        out.length = map_.header.request_size;
        out.record = next_++;
        d.status = DrawStatus::Ready;
        return d;
    }
    size_t handed_out() const { return next_; }

private:
    const LbaMap& map_;
    const std::vector<uint64_t>& units_;
    size_t next_ = 0;
};

}  // namespace

void cmd_Compare_MapWrite(int slot, const std::string& args, const std::string& name) {
    if (!require_raw_mode(slot)) return;
    std::optional<CommandArgs> a = read_args(slot, args, name, kWriteSpecs);
    if (!a) return;
    uint32_t pattern = 0;
    if (!pattern_from_text(slot, a->text("WritePattern"), pattern, "Cannot support AUTO Pattern")) return;
    std::string path = a->text("LBAMap");
    LbaMap map;
    if (!load_map_for_disk(slot, path, map)) return;
    copy_into_log_folder(slot, path);
    print_play_header(slot, path, map);
    log_text(slot, fmt("Write Pattern : 0x%08X", pattern));

    MapReplaySource source(map, false);
    if (!source.ok()) {
        raise_error(slot, kErrHostMemory, name);
        return;
    }
    std::unique_ptr<IoTarget> target = open_map_target(slot);
    if (!target) return;
    MapProgress start;
    start.map_path = path;
    start.map_records = static_cast<uint32_t>(map.records.size());
    start.write_pattern = pattern;
    MapProgressKeeper keeper(progress_path_for(path), start, static_cast<uint32_t>(a->number("QD")));
    MapJobMemory& memory = map_job_memory(slot);
    memory = MapJobMemory{path, std::nullopt};
    if (!keeper.begin()) {
        raise_error(slot, kErrOutputFile, progress_path_for(path));
        return;
    }
    MapDataPolicy policy(job_sector_size(), pattern, false);
    MapPlayOptions o = play_options(slot, map, static_cast<uint32_t>(a->number("QD")), a->number("StepRun"),
                                    a->number("StepDelay"));
    o.progress = &keeper;
    MapPlayResult r;
    MapRunChart chart(slot, map.header.request_size);
    const auto written = [&]() { return r.writes_completed * map.header.request_size; };
    const auto percent = [&]() { return played_percent(source.handed_out(), map.records.size()); };
    o.tick = [&]() { chart.update(written(), 0, percent()); };
    play_requests(*target, source, policy, o, r);
    chart.finish(written(), 0);
    const bool all_done = r.code == 1 && !r.cancelled && source.handed_out() == map.records.size();
    if (!keeper.finish(all_done) && r.code == 1) r.code = kErrOutputFile;
    log_text(slot, fmt("Write Complete Counts   : %d", static_cast<int64_t>(r.writes_completed)));
    log_text(slot, fmt("Write Uncomplete Counts : %d", static_cast<int64_t>(r.writes_issued - r.writes_completed)));
    if (r.code != 1) {
        raise_at_position(slot, r.code, r.position);
        return;
    }
    if (r.cancelled) log_text(slot, kCancelCommandText);
    set_result_number(slot, name, static_cast<int64_t>(r.writes_completed));
}

void cmd_Compare_MapWriteCompare(int slot, const std::string& args, const std::string& name) {
    if (!require_raw_mode(slot)) return;
    std::optional<CommandArgs> a = read_args(slot, args, name, kWriteCompareSpecs);
    if (!a) return;
    uint32_t pattern = 0;
    if (!pattern_from_text(slot, a->text("WritePattern"), pattern)) return;
    if (pattern == kPatternAuto) pattern = process_random32();
    std::string path = a->text("LBAMap");
    LbaMap map;
    if (!load_map_for_disk(slot, path, map)) return;
    print_play_header(slot, path, map);
    log_text(slot, fmt("Pattern       : 0x%08X", pattern));
    MapReplaySource source(map, true);
    if (!source.ok()) {
        raise_error(slot, kErrHostMemory, name);
        return;
    }
    std::unique_ptr<IoTarget> target = open_map_target(slot);
    if (!target) return;
    const uint32_t ss = job_sector_size();
    MapDataPolicy policy(ss, pattern, true);
    MapPlayResult r;
    play_requests(*target, source, policy,
                  play_options(slot, map, static_cast<uint32_t>(a->number("QD")), a->number("StepRun"),
                               a->number("StepDelay")),
                  r);
    MiscompareReport report;
    report.base_path = output_stem(slot);
    report.percent = map.records.empty() ? 100 : static_cast<uint32_t>(uint64_t{source.handed_out()} * 100 / map.records.size());
    if (r.code == kErrMiscompareThenCorrect) {
        const uint64_t lba = r.failed_io.offset / ss;
        record_first_read(report, lba, r.failed_io.length, ss, r.written, r.read);
        wait_before_second_read();
        AlignedBuffer again(r.failed_io.length);
        IoRequest req{IoOp::Read, r.failed_io.offset, again.data(), r.failed_io.length};
        const bool read_ok = again && io_sync(*target, req) == static_cast<int32_t>(r.failed_io.length);
        record_second_read(report, ss, r.written, read_ok ? again.span() : std::span<uint8_t>());
    } else if (r.code != 1) {
        report.result = r.code;
    }
    finish_compare(slot, report, r.position / ss);
    if (report.result == 1) set_result_number(slot, name, 0);
}

void cmd_Compare_MapRecoverBasePattern(int slot, const std::string&, const std::string& name) {
    if (!require_raw_mode(slot)) return;
    const MapJobMemory memory = map_job_memory(slot);
    LbaMap map;
    std::string why;
    if (memory.map_path.empty() || !memory.base_pattern || !load_lba_map(memory.map_path, map, why)) {
        log_text(slot, "Need Call Compare_MapWrite and Comapre_MapCompare beforce this command", colour::kRed);
        raise_error(slot, kErrParam, "Need Call Compare_MapWrite and Comapre_MapCompare beforce this command");
        return;
    }
    const std::optional<MapProgress> progress = load_map_progress(progress_path_for(memory.map_path));
    const uint32_t played = progress ? progress->limit : static_cast<uint32_t>(map.records.size());
    const std::vector<uint64_t> units = touched_units(map, played);
    if (units.empty()) {
        log_text(slot, "No Data Need Recover");
        return;
    }
    std::unique_ptr<IoTarget> target = open_map_target(slot);
    if (!target) return;
    UnitListSource source(map, units);
    MapDataPolicy policy(job_sector_size(), *memory.base_pattern, false);
    MapPlayOptions o = play_options(slot, map, kRecoverDepth, 0, 0);
    const int line = log_text(slot, "Recover By Base Pattern : 0%");
    o.tick = [&]() {
        rewrite_line(slot, line, fmt("Recover By Base Pattern : %d%%", static_cast<int>(source.handed_out() * 100 / units.size())));
    };
    MapPlayResult r;
    play_requests(*target, source, policy, o, r);
    if (r.code != 1) {
        raise_at_position(slot, r.code, r.position);
        return;
    }
    rewrite_line(slot, line, fmt("Recover By Base Pattern : %d%%", r.cancelled ? static_cast<int>(source.handed_out() * 100 / units.size()) : 100));
    set_result_number(slot, name, static_cast<int64_t>(r.writes_completed));
}

}  // namespace tb
