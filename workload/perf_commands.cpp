#include "workload/perf_commands.h"

#include <algorithm>
#include <vector>

#include "common/format.h"
#include "disk/disk_record.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "ui/job_log.h"
#include "workload/chart.h"
#include "workload/command_support.h"
#include "workload/engine.h"
#include "workload/pattern.h"
#include "workload/report.h"
#include "workload/temperature.h"

namespace tb {

namespace {

// How one of the five engine commands reads its keys.
struct PerfCommand {
    bool mix = false;            // WriteRatio and RandRatio come first
    uint32_t write_ratio = 0;
    uint32_t random_ratio = 0;
    bool has_pattern = false;
    bool limit_cycles = false;   // LimitCycle (a count of ranges) instead of LimitTxSizeMB
    uint64_t def_range_mb = 4096;
    uint32_t def_kb = 4;
    bool def_limit_cycle = true; // LimitTxSizeMB defaults to "CYCLE"
    uint64_t def_limit = 1;
};

void run_perf(int slot, const std::string& args, const std::string& name, const PerfCommand& c) {
    KeyReader keys(slot, args);
    size_t pos = 0;
    uint32_t write_ratio = c.write_ratio, random_ratio = c.random_ratio;
    if (c.mix) {
        if (!keys.u32({"WriteRatio"}, 0, write_ratio, 25) || !keys.u32({"RandRatio"}, 1, random_ratio, 50)) return;
        pos = 2;
        if (write_ratio > 100 || random_ratio > 100) {
            raise_error(slot, kErrParam, "WriteRatio and RandRatio must not be over 100");
            return;
        }
    }
    int64_t lba = 0, range = 0;
    if (!keys.i64({"LBA"}, pos, lba, 0) || !keys.i64({"RangeLenMB"}, pos + 1, range, static_cast<int64_t>(c.def_range_mb)))
        return;
    if (lba < 0 || range < 0) {
        raise_error(slot, kErrParam, "LBA and RangeLenMB must not be negative");
        return;
    }
    const uint32_t sector = job_sector_size();
    AccessSize size;
    if (!read_access_size(keys, pos + 2, sector, c.def_kb, size)) return;
    const ArgPair* worker = keys.reader().find_key("Worker");
    uint32_t qd = 0;
    if (!keys.u32({"QD", "Worker"}, pos + 3, qd, 32)) return;
    size_t next = pos + 4;
    uint32_t pattern = 0;
    if (c.has_pattern && !keys.pattern({"WritePattern"}, next++, pattern, kPatternAuto)) return;
    uint64_t limit = 0;
    bool limit_is_cycle = false;
    if (c.limit_cycles) {
        uint32_t cycles = 0;
        if (!keys.u32({"LimitCycle"}, next++, cycles, static_cast<uint32_t>(c.def_limit))) return;
        limit = cycles;
    } else if (!keys.limit({"LimitTxSizeMB"}, next++, limit, limit_is_cycle, c.def_limit_cycle, c.def_limit)) {
        return;
    }
    uint32_t limit_sec = 0, rate = 1, temp_sec = 0;
    if (!keys.u32({"LimitTimeSec"}, next, limit_sec, 0) || !keys.u32({"DotPerSec"}, next + 1, rate, 1) ||
        !keys.u32({"GetTemperatureSec"}, next + 2, temp_sec, 0))
        return;

    if (size.bytes == 0 || qd == 0 || rate < 1 || rate > 1000) {
        raise_error(slot, kErrParam, size.bytes == 0 ? "AccessKB must not be 0"
                                     : qd == 0       ? "QD must not be 0"
                                                     : "DotPerSec must be 1 ~ 1000");
        return;
    }
    if (size.bytes % sector || size.spread % static_cast<int32_t>(sector)) {
        raise_error(slot, kErrParam, "AccessKB must base on SectorSize");
        return;
    }

    uint64_t start_lba = static_cast<uint64_t>(lba), range_mb = static_cast<uint64_t>(range);
    WorkloadTarget target;
    if (!open_workload_target(slot, write_ratio > 0, start_lba, range_mb, target)) return;
    if (c.limit_cycles) limit *= range_mb;
    else if (limit_is_cycle) limit = range_mb;

    const std::string base = output_stem(slot);
    const int chart_line = write_line(slot, path_of_chart(base), LineFormat::Normal, kChartLineSize);

    PerfParams p;
    p.slot = slot;
    std::unique_ptr<IoTarget> io = std::move(target.io);
    p.open = [&io]() { return std::move(io); };
    p.disk = &current_target();
    p.sector_size = sector;
    p.write_ratio = write_ratio;
    p.random_ratio = random_ratio;
    p.start_lba = start_lba;
    p.range_mb = range_mb;
    p.request_size = size.bytes;
    p.spread = size.spread;
    p.queue_depth = qd;
    p.pattern = pattern;
    p.limit_mb = limit;
    p.limit_sec = limit_sec;
    p.output_base = base;
    p.rate = rate;
    p.per_stream = worker != nullptr;
    p.temperature_interval = temp_sec;
    ChartSeries chart;
    chart.slot = slot;
    chart.rate = rate;
    chart.temperature_offset = temperature_offset(current_target());
    p.on_point = [&chart](const ThroughputSample& s, uint32_t scale) { chart.add(s, scale); };

    WorkloadResult result;
    const int rc = run_performance(p, result);
    if (rc == -1) {
        raise_error(slot, kErrOpenDisk, current_target().device_path);
        return;
    }
    if (rc == -2) {
        raise_error(slot, kErrParam, "The range must hold more than one request");
        return;
    }
    print_summary(slot, result, base);
    chart.scale_kbps = std::max(chart.scale_kbps, result.chart_scale_kbps);
    if (render_chart_png(base + ".png", chart)) bind_chart_line(slot, chart_line, base);
    if (rc == -87) {
        log_text(slot, "Stop by too much points to draw, try to resuce Parameters.");
        return;
    }
    if (rc < 0) {
        print_position(slot, target, result.position);
        raise_error(slot, rc, position_text(result.position, target.sector_size, target.mode == TargetMode::Raw));
        return;
    }
    set_result_number(slot, name, result.avg_kbps);
}

}  // namespace

void cmd_Performance_SeqRead(int slot, const std::string& args, const std::string& name) {
    PerfCommand c;
    c.limit_cycles = true;
    c.def_kb = 128;
    run_perf(slot, args, name, c);
}

void cmd_Performance_SeqWrite(int slot, const std::string& args, const std::string& name) {
    PerfCommand c;
    c.write_ratio = 100;
    c.has_pattern = true;
    c.limit_cycles = true;
    c.def_kb = 128;
    run_perf(slot, args, name, c);
}

void cmd_Performance_RandRead(int slot, const std::string& args, const std::string& name) {
    PerfCommand c;
    c.random_ratio = 100;
    c.def_range_mb = 0;
    run_perf(slot, args, name, c);
}

void cmd_Performance_RandWrite(int slot, const std::string& args, const std::string& name) {
    PerfCommand c;
    c.write_ratio = 100;
    c.random_ratio = 100;
    c.has_pattern = true;
    run_perf(slot, args, name, c);
}

void cmd_Performance_MixReadWrite(int slot, const std::string& args, const std::string& name) {
    PerfCommand c;
    c.mix = true;
    c.has_pattern = true;
    c.def_limit_cycle = false;
    c.def_limit = 1024;
    run_perf(slot, args, name, c);
}

}  // namespace tb
