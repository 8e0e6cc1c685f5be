#include "workload/report.h"

#include <memory>
#include <string_view>

#include "common/format.h"
#include "platform/paths.h"
#include "ui/job_log.h"

namespace tb {

const char* const kCsvHeader = "TotalMB,KBPs,IOPs,JobTimeMs,CycleTimeMs,TComposite,T1,T2,T3,T4,T5,T6,T7,T8\r\n";

namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

constexpr size_t kCsvBuffer = 16u << 20;

bool write_all(FILE* f, std::string_view text) {
    return text.empty() || std::fwrite(text.data(), 1, text.size(), f) == text.size();
}

}  // namespace

std::string csv_line(const ThroughputSample& s) {
    return fmt("%I64d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d\r\n", static_cast<int64_t>(s.total_bytes >> 20),
               s.read_kbps + s.write_kbps, s.read_iops + s.write_iops, s.job_ms, s.cycle_ms, s.composite,
               s.sensors[0], s.sensors[1], s.sensors[2], s.sensors[3], s.sensors[4], s.sensors[5], s.sensors[6],
               s.sensors[7]);
}

bool append_csv(const std::string& base, std::span<const ThroughputSample> points) {
    if (points.empty() || base.empty()) return true;
    std::string path = native_path(base + ".CSV");
    bool exists = file_exists(path);
    FilePtr f(std::fopen(path.c_str(), exists ? "ab" : "wb"));
    if (!f) return false;
    std::string buffer;
    buffer.reserve(std::min<size_t>(kCsvBuffer, points.size() * 64 + 128));
    if (!exists) buffer = kCsvHeader;
    bool ok = true;
    for (const ThroughputSample& s : points) {
        std::string line = csv_line(s);
        if (buffer.size() + line.size() > kCsvBuffer) {
            ok = write_all(f.get(), buffer) && ok;
            buffer.clear();
        }
        buffer += line;
    }
    ok = write_all(f.get(), buffer) && ok;
    return ok;
}

std::string qos_text(const std::array<uint64_t, kLatencyBuckets>& counts) {
    uint64_t total = 0;
    for (uint64_t c : counts) total += c;
    auto share = [total](uint64_t part) -> uint64_t { return total ? part * 10000 / total : 0; };
    std::string out = "Time             :       Command Count |           Command Ratio |               QoS Ratio \r\n";
    uint64_t cumulative = 0;
    for (int b = 0; b < kLatencyBuckets; ++b) {
        cumulative += counts[b];
        uint64_t one = share(counts[b]), cum = share(cumulative);
        out += fmt("%-10S       :     %15I64d |              %6d.%02d%% |              %6d.%02d%% \r\n",
                   LatencyHistogram::kLabels[b], static_cast<int64_t>(counts[b]), one / 100, one % 100, cum / 100,
                   cum % 100);
    }
    out += fmt("Total Count      :     %15I64d \r\n", static_cast<int64_t>(total));
    return out;
}

bool append_qos(const std::string& base, const std::array<uint64_t, kLatencyBuckets>& counts) {
    if (base.empty()) return true;
    FilePtr f(std::fopen(native_path(base + "_Qos.TXT").c_str(), "ab"));
    if (!f) return false;
    return write_all(f.get(), qos_text(counts));
}

std::string mbps_text(uint32_t kbps) { return fmt("%d.%02d", kbps / 1024, (kbps % 1024) * 100 / 1024); }

void print_summary(int slot, const WorkloadResult& r, const std::string& base) {
    constexpr uint32_t kHighlight = colour::kCyan;
    log_text(slot, r.last_cycle_line);
    log_text(slot, fmt("Transfer Size(MB): %d", r.transfer_mb));
    log_text(slot, fmt("Transfer Time(ms): %d", r.transfer_ms));
    log_text(slot, fmt("Max MBps: %s", mbps_text(r.max_kbps)));
    log_text(slot, fmt("Avg MBps: %s", mbps_text(r.avg_kbps)), kHighlight);
    log_text(slot, fmt("Min MBps: %s", mbps_text(r.min_kbps)));
    log_text(slot, fmt("Max IOps: %d", r.max_iops));
    log_text(slot, fmt("Avg IOps: %d", r.avg_iops), kHighlight);
    log_text(slot, fmt("Min IOps: %d", r.min_iops));
    write_line(slot, "Qos Distributed List", LineFormat::Normal, 10, colour::kWhite, LineKind::Text,
               base + "_Qos.TXT");
}

void bind_chart_line(int slot, int line, const std::string& base) {
    if (line < 0) return;
    attach_image_line(slot, line, base + ".png", base + ".CSV");
}

std::string position_text(uint64_t byte_offset, uint32_t sector_size, bool raw) {
    uint64_t v = raw ? byte_offset / (sector_size ? sector_size : 512) : byte_offset;
    return fmt(raw ? "CurrentLBA: 0x%08X%08X" : "CurrentOffset: 0x%08X%08X", static_cast<uint32_t>(v >> 32),
               static_cast<uint32_t>(v));
}

}  // namespace tb
