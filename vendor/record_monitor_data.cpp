#include "vendor/record_monitor_data.h"

#include <chrono>
#include <optional>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "disk/disk_record.h"
#include "disk/nvme_transport.h"
#include "disk/smart_report.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "vendor/record_bytes.h"

namespace tb {

namespace {

constexpr uint8_t kSmartLogId = 0x02;
constexpr int kKelvinOffset = 273;

constexpr ArgSpec kSpecs[] = {
    {"IntervalSec", "Interval", ArgType::Number, "1", 1, 86400},
    {"LimitTimeSec", "LimitSec", ArgType::Number, "60", 0, 31 * 86400},
    {"SaveFile", "Save", ArgType::Text, ""},
};

// The CSV file: SaveFile placed as a saved file, or a new file of the job's output stem.
std::optional<std::string> csv_path(int slot, std::string save_name) {
    if (save_name.empty()) return output_stem(slot) + "_Monitor.csv";
    switch (resolve_file_argument(slot, save_name, true, "csv", "CSV File")) {
        case FileResolve::Chosen: return native_path(save_name);
        case FileResolve::Cancelled: set_cancel(slot); return std::nullopt;
        case FileResolve::NotFound: raise_error(slot, kErrOutputFile, save_name); return std::nullopt;
    }
    return std::nullopt;
}

// The low 64 bits of a 16-byte counter.
uint64_t counter(std::span<const uint8_t> log, size_t offset) { return record_number(log, offset, 8); }

}  // namespace

std::string monitor_csv_header() {
    return "ElapsedSec,TemperatureC,AvailableSpare,PercentageUsed,DataUnitsRead,DataUnitsWritten,"
           "HostReadCommands,HostWriteCommands,PowerCycles,PowerOnHours,UnsafeShutdowns,MediaErrors\r\n";
}

std::string monitor_csv_row(uint64_t elapsed_sec, std::span<const uint8_t> log) {
    const int celsius = static_cast<int>(record_number(log, 1, 2)) - kKelvinOffset;
    return fmt("%I64d,%d,%d,%d,%I64d,%I64d,%I64d,%I64d,%I64d,%I64d,%I64d,%I64d\r\n", elapsed_sec, celsius,
               static_cast<int>(record_number(log, 3, 1)), static_cast<int>(record_number(log, 5, 1)),
               counter(log, 32), counter(log, 48), counter(log, 64), counter(log, 80), counter(log, 112),
               counter(log, 128), counter(log, 144), counter(log, 160));
}

void cmd_MonitorData(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "MonitorData", kSpecs);
    if (!a) return;
    const std::optional<std::string> path = csv_path(slot, a->text("SaveFile"));
    if (!path) return;
    if (!write_file_bytes(*path, monitor_csv_header())) {
        raise_error(slot, kErrOutputFile, *path);
        return;
    }
    log_text(slot, fmt("Monitor File : %s", *path));
    const uint64_t interval_ms = static_cast<uint64_t>(a->number("IntervalSec")) * 1000;
    const uint64_t limit_ms = static_cast<uint64_t>(a->number("LimitTimeSec")) * 1000;
    const auto start = std::chrono::steady_clock::now();
    int64_t rows = 0;
    std::vector<uint8_t> log(kNvmeSmartBytes, 0);
    for (;;) {
        const uint64_t elapsed_ms = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        const NvmeResult r = nvme_get_log_page(current_target(), kSmartLogId, 0, false, log);
        if (!r.ok()) {
            raise_error(slot, nvme_error_code(r.code), name);
            return;
        }
        if (!write_file_bytes(*path, monitor_csv_row(elapsed_ms / 1000, log), true)) {
            raise_error(slot, kErrOutputFile, *path);
            return;
        }
        ++rows;
        if (elapsed_ms + interval_ms > limit_ms) break;
        sleep_cancellable(slot, interval_ms);
        if (cancel_requested(slot)) break;
    }
    attach_data_file(slot, colour::kOlive, *path, false);
    log_text(slot, fmt("Monitor Rows : %I64d", rows));
    set_result_number(slot, name, rows);
}

}  // namespace tb
