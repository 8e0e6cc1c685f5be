#include "workload/compare_loops.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "ui/job_log.h"
#include "workload/action_table.h"
#include "workload/charted_run.h"
#include "workload/chart.h"
#include "workload/command_support.h"
#include "workload/compare_report.h"
#include "workload/compare_source.h"
#include "workload/compare_status.h"
#include "workload/engine.h"
#include "workload/lba_target.h"
#include "workload/pattern.h"
#include "workload/report.h"
#include "workload/second_look.h"
#include "workload/stamp_policy.h"
#include "workload/target_view.h"
#include "workload/trim_support.h"

namespace tb {

namespace {

constexpr int64_t kRatioMax = kActionTableSize;

// Keys in their reading order; the fifth and sixth differ between the two
// commands (the transfer limit).
constexpr ArgSpec kSeqSpecs[] = {
    {"LBA", "", ArgType::Number, "0", 0},
    {"RangeLenMB", "", ArgType::Number, "4096", 0},
    {"AccessKB", "AccessSector", ArgType::Number, "128", 1, 1 << 20},
    {"QD", "", ArgType::Number, "32", 1, kMaxSlotsPerWorker},
    {"WritePattern", "", ArgType::Text, "AUTO"},
    {"LimitCycle", "", ArgType::Number, "1", 0, 0xFFFFFFFF},
    {"LimitTimeSec", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
    {"StepRun", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
    {"StepDelay", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
    {"TrimRatio", "", ArgType::Number, "0", 0, kRatioMax},
    {"FuaRatio", "", ArgType::Number, "0", 0, kRatioMax},
    {"FlushRatio", "", ArgType::Number, "0", 0, kRatioMax},
    {"nWrite1Read", "", ArgType::Number, "1", 0, 0xFFFFFFFF},
};

constexpr ArgSpec kRandSpecs[] = {
    {"LBA", "", ArgType::Number, "0", 0},
    {"RangeLenMB", "", ArgType::Number, "4096", 0},
    {"AccessKB", "AccessSector", ArgType::Number, "4", 1, 1 << 20},
    {"QD", "", ArgType::Number, "32", 1, kMaxSlotsPerWorker},
    {"WritePattern", "", ArgType::Text, "AUTO"},
    {"LimitTxSizeMB", "", ArgType::Text, "CYCLE"},
    {"LimitTimeSec", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
    {"StepRun", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
    {"StepDelay", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
    {"TrimRatio", "", ArgType::Number, "0", 0, kRatioMax},
    {"FuaRatio", "", ArgType::Number, "0", 0, kRatioMax},
    {"FlushRatio", "", ArgType::Number, "0", 0, kRatioMax},
    {"nWrite1Read", "", ArgType::Number, "1", 0, 0xFFFFFFFF},
};

struct LoopSettings {
    bool random = false;
    uint64_t start_lba = 0;
    uint64_t range_mb = 0;
    uint32_t request_size = 0;
    uint32_t queue_depth = 0;
    uint32_t pattern = kPatternAuto;
    uint64_t limit_mb = 0;  // 0: none
    uint32_t limit_sec = 0;
    uint32_t step_run = 0, step_delay = 0;
    uint32_t trims = 0, fua_writes = 0, flushes = 0;
    uint32_t read_every = 1;
};

// A number, or "AUTO" (a random pattern for every fill).
bool parse_pattern(int slot, const std::string& text, uint32_t& out) {
    if (iequals(trim(text), "AUTO")) {
        out = kPatternAuto;
        return true;
    }
    int64_t v = 0;
    if (!arg_i64(slot, text, v) || v < 0 || v > 0xFFFFFFFFll) {
        raise_error(slot, kErrParam, fmt("WritePattern:%s is not a 32-bit pattern", text));
        return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
}

// A size in MB, or "CYCLE" (one range length: `cycle` is set).
bool parse_limit(int slot, const std::string& text, uint64_t& out, bool& cycle) {
    cycle = iequals(trim(text), "CYCLE");
    if (cycle) return true;
    int64_t v = 0;
    if (!arg_i64(slot, text, v) || v < 0) {
        raise_error(slot, kErrParam, fmt("LimitTxSizeMB:%s must be a size in MB or CYCLE", text));
        return false;
    }
    out = static_cast<uint64_t>(v);
    return true;
}

// Reads the keys of either command; false after raising the error.
bool read_settings(int slot, const std::string& args, const std::string& name, bool random, LoopSettings& s,
                   bool& limit_is_cycle) {
    const std::span<const ArgSpec> specs = random ? std::span<const ArgSpec>(kRandSpecs) : kSeqSpecs;
    std::optional<CommandArgs> a = read_args(slot, args, name, specs);
    if (!a) return false;
    const uint32_t sector = job_sector_size();
    s.random = random;
    s.start_lba = static_cast<uint64_t>(a->number("LBA"));
    s.range_mb = static_cast<uint64_t>(a->number("RangeLenMB"));
    const uint64_t size = static_cast<uint64_t>(a->number("AccessKB"));
    const bool in_sectors = ArgReader(slot, args).find_key("AccessSector") != nullptr;
    s.request_size = static_cast<uint32_t>(in_sectors ? size * sector : size * 1024);
    if (s.request_size % sector) {
        raise_error(slot, kErrParam, "AccessKB must base on SectorSize");
        return false;
    }
    s.queue_depth = static_cast<uint32_t>(a->number("QD"));
    if (!parse_pattern(slot, a->text("WritePattern"), s.pattern)) return false;
    limit_is_cycle = false;
    if (random) {
        if (!parse_limit(slot, a->text("LimitTxSizeMB"), s.limit_mb, limit_is_cycle)) return false;
    } else {
        s.limit_mb = static_cast<uint64_t>(a->number("LimitCycle"));  // ranges; fixed once the range is
    }
    s.limit_sec = static_cast<uint32_t>(a->number("LimitTimeSec"));
    s.step_run = static_cast<uint32_t>(a->number("StepRun"));
    s.step_delay = static_cast<uint32_t>(a->number("StepDelay"));
    s.trims = static_cast<uint32_t>(a->number("TrimRatio"));
    s.fua_writes = static_cast<uint32_t>(a->number("FuaRatio"));
    s.flushes = static_cast<uint32_t>(a->number("FlushRatio"));
    s.read_every = static_cast<uint32_t>(a->number("nWrite1Read"));
    if (uint64_t{s.trims} + s.fua_writes + s.flushes > kActionTableSize) {
        raise_error(slot, kErrParam, "TrimRatio + FuaRatio + FlushRatio need <= 10000");
        return false;
    }
    if (!trims_possible(slot, s.trims)) return false;
    if (s.flushes == kActionTableSize) {
        // Nothing but flushes moves no data: such a run could never end.
        raise_error(slot, kErrParam, "FlushRatio need < 10000");
        return false;
    }
    return true;
}

void run_loop(int slot, const std::string& args, const std::string& name, bool random) {
    LoopSettings s;
    bool limit_is_cycle = false;
    if (!read_settings(slot, args, name, random, s, limit_is_cycle)) return;
    if (target_mode(current_target()) != TargetMode::Raw) {
        raise_error(slot, kErrRawModeOnly, name);
        return;
    }
    WorkloadTarget target;
    if (!open_workload_target(slot, true, s.start_lba, s.range_mb, target)) return;
    const uint64_t range_bytes = s.range_mb << 20;
    const uint64_t units = range_bytes / s.request_size;
    if (units == 0) {
        raise_error(slot, kErrParam, fmt("RangeLenMB:%I64d is shorter than one request", s.range_mb));
        return;
    }
    if (random && units < s.queue_depth) {
        raise_error(slot, kErrParam, fmt("RangeLenMB:%I64d must hold QD:%d requests", s.range_mb, s.queue_depth));
        return;
    }
    // A sequential range of fewer requests than QD runs one stream per request.
    const uint32_t streams = static_cast<uint32_t>(std::min<uint64_t>(s.queue_depth, units));
    if (!random) s.limit_mb *= s.range_mb;
    else if (limit_is_cycle) s.limit_mb = s.range_mb;

    CompareSourceSettings cs;
    cs.random = random;
    cs.start_offset = s.start_lba * target.sector_size;
    cs.range_bytes = range_bytes;
    cs.request_size = s.request_size;
    cs.streams = streams;
    cs.actions = make_action_table(s.trims, s.fua_writes, s.flushes, crypto_random64());
    cs.step_run_sec = s.step_run;
    cs.step_delay_sec = s.step_delay;
    if (cs.actions.empty()) {
        raise_error(slot, kErrHostMemory, "action table");
        return;
    }
    CompareSource source(std::move(cs));
    StampedPatternPolicy policy(s.pattern, target.sector_size, s.read_every, streams);

    const std::string base = output_stem(slot);
    const int chart_line = write_line(slot, path_of_chart(base), LineFormat::Normal, kChartLineSize);

    PerfParams p;
    p.slot = slot;
    IoTarget& disk = *target.io;
    p.open = [&disk]() -> std::unique_ptr<IoTarget> { return std::make_unique<TargetView>(disk); };
    p.disk = &current_target();
    p.sector_size = target.sector_size;
    p.start_lba = s.start_lba;
    p.range_mb = s.range_mb;
    p.request_size = s.request_size;
    p.queue_depth = streams;
    p.limit_mb = s.limit_mb;
    p.limit_sec = s.limit_sec;
    p.stall_seconds = 180;  // every request may take up to 180 s
    p.output_base = base;
    use_shared_source(p, source);
    p.policy = &policy;
    p.status_line = compare_status;

    WorkloadResult result;
    const int rc = run_with_chart(slot, chart_line, p, result);

    MiscompareReport report;
    report.base_path = base;
    report.cycle = std::max<uint32_t>(result.cycles, 1);
    report.percent = result.cycle_percent;
    report.result = rc < 0 ? rc : 1;
    if (result.miscompared) take_second_look(result.miscompare, disk, target.sector_size, report);
    finish_compare(slot, report, result.position / target.sector_size);
}

}  // namespace

void cmd_Compare_SeqReadWrite(int slot, const std::string& args, const std::string& name) {
    run_loop(slot, args, name, false);
}

void cmd_Compare_RandReadWrite(int slot, const std::string& args, const std::string& name) {
    run_loop(slot, args, name, true);
}

}  // namespace tb
