#include "workload/compare_overlap.h"

#include <algorithm>
#include <memory>
#include <new>
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
#include "ui/status.h"
#include "workload/aligned_buffer.h"
#include "workload/charted_run.h"
#include "workload/chart.h"
#include "workload/command_support.h"
#include "workload/compare_report.h"
#include "workload/compare_status.h"
#include "workload/engine.h"
#include "workload/lba_target.h"
#include "workload/overlap_image_policy.h"
#include "workload/overlap_source.h"
#include "workload/pattern.h"
#include "workload/report.h"
#include "workload/second_look.h"
#include "workload/target_view.h"

namespace tb {

namespace {

constexpr uint64_t kVerifyIntervalMs = 10000;
constexpr uint32_t kPrepareBytes = 128 * 1024;
constexpr uint32_t kLargestFixedKB = 128;  // four times this fills a slot's 512 KiB

constexpr ArgSpec kSpecs[] = {
    {"LBA", "", ArgType::Number, "0", 0},
    {"RangeLenMB", "", ArgType::Number, "1024"},
    {"QD", "", ArgType::Number, "32"},
    {"RandAccessKB", "", ArgType::Text, "AUTO"},
    {"RandRatio", "", ArgType::Number, "5"},
    {"OverRatio", "", ArgType::Number, "5"},
    {"LimitTxSizeMB", "", ArgType::Text, "CYCLE"},
    {"LimitTimeSec", "", ArgType::Number, "60", 0, 0xFFFFFFFF},
};

struct OverlapSettings {
    uint64_t start_lba = 0;
    uint64_t range_mb = 0;
    uint32_t queue_depth = 0;
    uint32_t fixed_size = 0;  // bytes; 0: the size mix
    uint32_t rand_ratio = 0, over_ratio = 0;
    bool limit_is_cycle = true;
    uint64_t limit_mb = 0;
    uint32_t limit_sec = 0;
};

bool fail_param(int slot, const std::string& text) {
    raise_error(slot, kErrParam, text);
    return false;
}

bool read_fixed_size(int slot, const std::string& text, uint32_t sector, uint32_t& out) {
    out = 0;
    if (iequals(trim(text), "AUTO")) return true;
    int64_t kb = 0;
    if (!arg_i64(slot, text, kb)) return false;
    if (kb < 1 || kb > kLargestFixedKB)
        return fail_param(slot, fmt("RandAccessKB: 1 - %d or AUTO", kLargestFixedKB));
    out = static_cast<uint32_t>(kb * 1024);
    if (out % sector) return fail_param(slot, "RandAccessKB must base on SectorSize");
    return true;
}

bool read_settings(int slot, const std::string& args, const std::string& name, OverlapSettings& s) {
    const std::optional<CommandArgs> a = read_args(slot, args, name, kSpecs);
    if (!a) return false;
    s.start_lba = static_cast<uint64_t>(a->number("LBA"));
    const int64_t qd = a->number("QD");
    if (qd < 1 || qd > 32) return fail_param(slot, "iQDepth: 1 - 32");
    const int64_t range = a->number("RangeLenMB");
    if (range < 64 || range > 2048) return fail_param(slot, "This Function, iRangeLenMB: 64 - 2048");
    const int64_t rand = a->number("RandRatio"), over = a->number("OverRatio");
    if (rand < 0 || rand > 100 || over < 0 || over > 100) return fail_param(slot, "iRandRatio/iOverRatio: 0 - 100");
    s.queue_depth = static_cast<uint32_t>(qd);
    s.range_mb = static_cast<uint64_t>(range);
    s.rand_ratio = static_cast<uint32_t>(rand);
    s.over_ratio = static_cast<uint32_t>(over);
    if (!read_fixed_size(slot, a->text("RandAccessKB"), job_sector_size(), s.fixed_size)) return false;
    const std::string limit = a->text("LimitTxSizeMB");
    s.limit_is_cycle = iequals(trim(limit), "CYCLE");
    if (!s.limit_is_cycle) {
        int64_t mb = 0;
        if (!arg_i64(slot, limit, mb) || mb < 0)
            return fail_param(slot, fmt("LimitTxSizeMB:%s must be a size in MB or CYCLE", limit));
        s.limit_mb = static_cast<uint64_t>(mb);
    }
    s.limit_sec = static_cast<uint32_t>(a->number("LimitTimeSec"));
    return true;
}

// Zeros over the whole range, 128 KiB at a time, so that the disk holds what
// the image holds. 1, or the error code with `reached` at the failing offset.
int32_t prepare_range(int slot, IoTarget& disk, uint64_t start, uint64_t bytes, uint64_t& reached) {
    AlignedBuffer zeros(kPrepareBytes);
    if (!zeros) return kErrHostMemory;
    std::fill(zeros.span().begin(), zeros.span().end(), uint8_t{0});
    set_status_text(slot, "Prepare Data...");
    for (uint64_t done = 0; done < bytes; done += kPrepareBytes) {
        reached = start + done;
        if (cancel_requested(slot)) return 1;
        IoRequest req;
        req.op = IoOp::Write;
        req.offset = reached;
        req.length = static_cast<uint32_t>(std::min<uint64_t>(kPrepareBytes, bytes - done));
        req.data = zeros.data();
        if (io_sync(disk, req) != static_cast<int32_t>(req.length)) return kErrWriteIO;
    }
    reached = start + bytes;
    return 1;
}

}  // namespace

void run_rand_size_overlap(int slot, const std::string& args, const std::string& name, uint64_t verify_interval_ms) {
    OverlapSettings s;
    if (!read_settings(slot, args, name, s)) return;
    if (target_mode(current_target()) != TargetMode::Raw) {
        raise_error(slot, kErrRawModeOnly, name);
        return;
    }
    WorkloadTarget target;
    if (!open_workload_target(slot, true, s.start_lba, s.range_mb, target)) return;
    const uint64_t start = s.start_lba * target.sector_size;
    const uint64_t range_bytes = s.range_mb << 20;
    std::vector<uint8_t> image;
    try {
        image.assign(range_bytes, 0);
    } catch (const std::bad_alloc&) {
        raise_error(slot, kErrHostMemory, fmt("%s: image of %I64d MB", name, s.range_mb));
        return;
    }
    IoTarget& disk = *target.io;
    const std::string base = output_stem(slot);
    const int chart_line = write_line(slot, path_of_chart(base), LineFormat::Normal, kChartLineSize);

    MiscompareReport report;
    report.base_path = base;
    uint64_t reached = start;
    const int32_t prepared = prepare_range(slot, disk, start, range_bytes, reached);
    set_status_text(slot, "");
    if (prepared != 1 || cancel_requested(slot)) {
        report.result = prepared;
        if (prepared == 1) log_text(slot, kCancelCommandText);
        finish_compare(slot, report, reached / target.sector_size);
        return;
    }

    OverlapSourceSettings os;
    os.start_offset = start;
    os.range_bytes = range_bytes;
    os.sector_size = target.sector_size;
    os.fixed_size = s.fixed_size;
    os.rand_ratio = s.rand_ratio;
    os.over_ratio = s.over_ratio;
    os.verify_interval_ms = verify_interval_ms;
    os.seed = crypto_random32();
    OverlapSource source(os);
    OverlapImagePolicy policy(image, start, target.sector_size);

    PerfParams p;
    p.slot = slot;
    p.open = [&disk]() -> std::unique_ptr<IoTarget> { return std::make_unique<TargetView>(disk); };
    p.disk = &current_target();
    p.sector_size = target.sector_size;
    p.start_lba = s.start_lba;
    p.range_mb = s.range_mb;
    p.request_size = source.largest_request(s.queue_depth);
    p.queue_depth = s.queue_depth;
    p.limit_mb = s.limit_is_cycle ? s.range_mb : s.limit_mb;
    p.limit_sec = s.limit_sec;
    p.stall_seconds = 180;
    p.output_base = base;
    use_shared_source(p, source);
    p.policy = &policy;
    p.status_line = compare_status;

    WorkloadResult result;
    const int rc = run_with_chart(slot, chart_line, p, result);

    report.cycle = std::max<uint32_t>(result.cycles, 1);
    report.percent = result.cycle_percent;
    report.result = rc < 0 ? rc : 1;
    if (result.miscompared) take_second_look(result.miscompare, disk, target.sector_size, report);
    finish_compare(slot, report, result.position / target.sector_size);
}

void cmd_Compare_RandSizeOverlap(int slot, const std::string& args, const std::string& name) {
    run_rand_size_overlap(slot, args, name, kVerifyIntervalMs);
}

}  // namespace tb
