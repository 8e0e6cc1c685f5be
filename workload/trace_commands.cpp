// JEDEC219A_Client (the client trace scaled onto the target and replayed)
// and JEDEC219A_Enterprise (the enterprise workload's size and range mix).
#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "common/format.h"
#include "disk/disk_record.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"
#include "workload/client_trace.h"
#include "workload/command_support.h"
#include "workload/pattern.h"
#include "workload/perf_commands.h"
#include "workload/report.h"
#include "workload/request_window.h"

namespace tb {

namespace {

const char kSpinner[4] = {'-', '/', '-', '\\'};

// Once-a-second status and the stop conditions of a replay.
class ReplayClock {
public:
    ReplayClock(int slot, uint32_t limit_sec) : slot_(slot), limit_sec_(limit_sec), t0_(workload_ms()) {}
    uint64_t seconds() const { return (workload_ms() - t0_) / 1000; }
    bool time_up() const { return limit_sec_ && seconds() >= limit_sec_; }
    bool cancelled() const { return cancel_requested(slot_); }
    // True once per new whole second (the caller then posts its line).
    bool tick() {
        uint64_t s = seconds();
        if (s == last_) return false;
        last_ = s;
        spinner_ = (spinner_ + 1) % 4;
        return true;
    }
    std::string spinner() const { return std::string(1, kSpinner[spinner_]); }
    uint64_t elapsed_ms() const { return workload_ms() - t0_; }

private:
    int slot_;
    uint32_t limit_sec_;
    uint64_t t0_;
    uint64_t last_ = 0;
    uint32_t spinner_ = 0;
};

// Shuffles a table in place (uniform, without replacement).
template <class T>
void shuffle_table(std::vector<T>& t) {
    WorkloadRandom r(crypto_random32());
    for (size_t i = t.size(); i > 1; --i) std::swap(t[i - 1], t[r.below(static_cast<uint32_t>(i))]);
}

// Reports a failed request of a replay: the position, then the error.
void report_failure(int slot, const WorkloadTarget& t, const RequestWindow& w, int32_t code) {
    print_position(slot, t, w.failed_request().offset);
    raise_error(slot, code, position_text(w.failed_request().offset, t.sector_size, t.mode == TargetMode::Raw));
}

void show_cancel(int slot, uint32_t in_flight, uint32_t depth) {
    set_status_text(slot, fmt("Cancel Job: %d%%", (depth - std::min(in_flight, depth)) * 100 / depth));
}

}  // namespace

// ---------------------------------------------------------------- client

void cmd_JEDEC219A_Client(int slot, const std::string& args, const std::string& name) {
    KeyReader keys(slot, args);
    const ArgReader& r = keys.reader();
    const size_t pos = r.find_key("File") ? 1 : 0;
    std::string file;
    if (!keys.text({"File"}, SIZE_MAX, file, "")) return;
    int64_t lba = 0, range = 0;
    if (!keys.i64({"LBA"}, pos, lba, 0)) return;
    bool range_in_sectors = false;
    if (const ArgPair* p = r.find_key_part("Sector")) {
        if (!arg_i64(slot, p->value, range)) return;
        range_in_sectors = true;
    } else if (!keys.i64({"RangeMB", "RangeLenMB"}, pos + 1, range, 0)) {
        return;
    }
    uint64_t limit_mb = 0;
    bool limit_cycle = false;
    uint32_t limit_sec = 60;
    if (!keys.limit({"LimitTxSizeMB"}, pos + 2, limit_mb, limit_cycle, false, 0) ||
        !keys.u32({"LimitTimeSec"}, pos + 3, limit_sec, 60))
        return;
    if (lba < 0 || range < 0) {
        raise_error(slot, kErrParam, "LBA and RangeMB must not be negative");
        return;
    }
    const uint32_t sector = job_sector_size();
    uint64_t range_mb = range_in_sectors ? (static_cast<uint64_t>(range) * sector) >> 20 : static_cast<uint64_t>(range);
    if (range_mb != 0 && range_mb < 64) {
        raise_error(slot, kErrPrepareFile, "RangeLenMB must 0 or large than 64");
        return;
    }

    // 1. The trace.
    std::string path = file.empty() ? path_join(app().work_folder, "Client_128_GB_Master_Trace.txt") : file;
    std::string text;
    if (!read_file_bytes(path, text) || text.empty()) {
        log_error_line(slot, "Load Master File fail, close AP then try again");
        raise_error(slot, kErrFileOpen, path);
        return;
    }
    struct Progress {
        int slot;
    } progress{slot};
    std::vector<TraceCommand> trace = parse_trace(
        text,
        [](int percent, void* c) {
            set_status_text(static_cast<Progress*>(c)->slot, fmt("Analyze Master Trace File %d%%", percent));
        },
        &progress);
    set_status_text(slot, "");
    TraceSummary all;
    for (const TraceCommand& c : trace) add_to_summary(all, c);
    for (const std::string& line : summary_lines(all, true)) log_text(slot, line);

    // 2. The target and the slice map.
    uint64_t start_lba = static_cast<uint64_t>(lba);
    WorkloadTarget target;
    if (!open_workload_target(slot, false, start_lba, range_mb, target)) return;
    if (limit_cycle) limit_mb = range_mb;
    SliceMap map = make_slice_map(hot_slices(trace), range_mb);
    for (const std::string& line : scale_lines(map, range_mb)) log_text(slot, line);

    // 3. Replay. Write data comes from the trace text itself.
    const uint64_t range_bytes = range_mb << 20;
    const uint64_t start = start_lba * target.sector_size;
    AlignedBuffer data(static_cast<size_t>(all.max_write) * 512 + 32768 + target.sector_size);
    if (!data) {
        raise_error(slot, kErrHostMemory, "trace data");
        return;
    }
    for (size_t i = 0; i < data.size(); ++i) data.data()[i] = static_cast<uint8_t>(text[i % text.size()]);
    ReplayClock clock(slot, limit_sec);
    RequestWindow window(*target.io, 32, data.span(), nullptr,
                         [&clock] { return clock.cancelled() || clock.time_up(); });
    if (!window.ok()) {
        raise_error(slot, kErrOpenDisk, current_target().device_path);
        return;
    }
    TraceSummary done;
    uint64_t written = 0;
    int32_t failure = 0;
    WorkloadRandom rng(crypto_random32());
    const uint64_t align = target.sector_size;
    for (size_t i = 0; i < trace.size(); ++i) {
        if (clock.tick())
            set_status_text(slot, fmt("%s Time: %I64d sec | TxSize: %d.%02d GB | Progress: %d%%", clock.spinner(),
                                      clock.seconds(), static_cast<uint32_t>(written >> 30),
                                      static_cast<uint32_t>((written * 100 >> 30) % 100),
                                      static_cast<uint32_t>(i * 100 / trace.size())));
        if (clock.cancelled() || clock.time_up() || (limit_mb && written >= (limit_mb << 20))) break;
        const TraceCommand& c = trace[i];
        IoRequest req;
        if (c.op != TraceOp::Flush) {
            // The mapped range, whole sectors of the target, kept inside the
            // target range (a trace denser than the range wraps around).
            uint64_t off = map.map(c.lba) * 512;
            uint64_t len = static_cast<uint64_t>(c.sectors) * 512;
            off = off / align * align;
            len = (len + align - 1) / align * align;
            if (len == 0) len = align;
            if (len > range_bytes) len = range_bytes / align * align;
            if (off + len > range_bytes) off = (off % (range_bytes - len + align)) / align * align;
            req.offset = start + off;
            req.length = static_cast<uint32_t>(len);
        }
        bool ok;
        if (c.op == TraceOp::Write) {
            req.op = IoOp::Write;
            req.data = data.data() + (rng.below(8) * 4096);
            ok = window.submit(req);
            if (ok) written += req.length;
            else if (window.failed()) failure = kErrWriteIO;
        } else {
            req.op = c.op == TraceOp::Trim ? IoOp::Trim : IoOp::Flush;
            ok = window.run_one(req);
            if (!ok && window.failed()) failure = window.failed_request().op == IoOp::Write ? kErrWriteIO : kErrIoControl;
        }
        if (!ok) break;
        add_to_summary(done, c);
    }
    if (!failure && window.drain() == false && window.failed())
        failure = window.failed_request().op == IoOp::Write ? kErrWriteIO : kErrIoControl;
    if (clock.cancelled()) show_cancel(slot, window.in_flight(), 32);
    if (!failure && window.stalled()) failure = kErrIoTimeout;
    set_status_text(slot, "");
    for (const std::string& line : summary_lines(done, false)) log_text(slot, line);
    if (failure) {
        if (failure == kErrIoTimeout) raise_error(slot, failure, "no request completed for 30 seconds");
        else report_failure(slot, target, window, failure);
        return;
    }
    set_result_number(slot, name, static_cast<int64_t>(done.commands));
}

// ---------------------------------------------------------------- enterprise

namespace {

constexpr std::array<uint32_t, 12> kSizeBytes = {512, 1024, 1536, 2048, 2560, 3072, 3584, 4096, 8192, 16384, 32768, 65536};
constexpr std::array<uint32_t, 12> kSizeCount = {4, 1, 1, 1, 1, 1, 1, 67, 10, 7, 3, 3};
constexpr std::array<const char*, 12> kSizeLabels = {" 0.5K", " 1.0K", " 1.5K", " 2.0K", " 2.5K", " 3.0K",
                                                      " 3.5K", " 4.0K", " 8.0K", "16.0K", "32.0K", "64.0K"};
constexpr std::array<const char*, 3> kRangeLabels = {"[RangeA LBA5%]", "[RangeB LBA15%]", "[RangeC LBA80%]"};

std::string cell(uint64_t count, uint64_t total) {
    uint64_t tenths = total ? count * 1000 / total : 0;
    return fmt("%12I64d (%2d.%d%%) ", count, static_cast<uint32_t>(tenths / 10), static_cast<uint32_t>(tenths % 10));
}

// The 3 x 12 distribution of the requests, as printed.
std::vector<std::string> distribution_lines(const std::array<std::array<uint64_t, 12>, 3>& counts) {
    uint64_t total = 0;
    for (auto& row : counts) total = std::accumulate(row.begin(), row.end(), total);
    std::vector<std::string> out;
    std::string header = fmt("%20s | ", "");
    for (const char* l : kSizeLabels) header += fmt("%20s | ", l);
    header += "             [Total]";
    out.push_back(header);
    std::array<uint64_t, 12> column{};
    for (size_t r = 0; r < 3; ++r) {
        std::string line = fmt(" %s : ", kRangeLabels[r]);
        uint64_t row_total = 0;
        for (size_t s = 0; s < 12; ++s) {
            line += cell(counts[r][s], total) + "| ";
            row_total += counts[r][s];
            column[s] += counts[r][s];
        }
        out.push_back(line + cell(row_total, total));
    }
    std::string line = "[Total]: ";
    for (size_t s = 0; s < 12; ++s) line += cell(column[s], total) + "| ";
    out.push_back(line + cell(total, total));
    return out;
}

// Compares one request's data; the index of the first differing sector, or -1.
int64_t first_difference(const uint8_t* a, const uint8_t* b, uint32_t length, uint32_t sector) {
    for (uint32_t at = 0; at < length; at += sector)
        if (std::memcmp(a + at, b + at, std::min(sector, length - at)) != 0) return at / sector;
    return -1;
}

}  // namespace

std::vector<std::string> enterprise_distribution_lines(const std::array<std::array<uint64_t, 12>, 3>& counts) {
    return distribution_lines(counts);
}

void cmd_JEDEC219A_Enterprise(int slot, const std::string& args, const std::string& name) {
    KeyReader keys(slot, args);
    int64_t lba = 0, range = 0;
    uint32_t write_ratio = 100, limit_sec = 0;
    bool compare = false, limit_cycle = false;
    uint64_t limit_mb = 1024;
    if (!keys.i64({"LBA"}, 0, lba, 0) || !keys.i64({"RangeLenMB"}, 1, range, 0) ||
        !keys.u32({"WriteRatio"}, 2, write_ratio, 100) || !keys.boolean({"DataCompare"}, 3, compare, false) ||
        !keys.limit({"LimitTxSizeMB"}, 4, limit_mb, limit_cycle, false, 1024) ||
        !keys.u32({"LimitTimeSec"}, 5, limit_sec, 0))
        return;
    if (lba < 0 || range < 0 || write_ratio > 100) {
        raise_error(slot, kErrParam, "WriteRatio must not be over 100");
        return;
    }
    uint64_t start_lba = static_cast<uint64_t>(lba), range_mb = static_cast<uint64_t>(range);
    WorkloadTarget target;
    if (!open_workload_target(slot, false, start_lba, range_mb, target)) return;
    if (limit_cycle) limit_mb = range_mb;
    const uint32_t ss = target.sector_size;
    const uint64_t n = (range_mb << 20) / ss;
    // Ranges in sectors; the 128-sector margin keeps a 64 KiB request inside.
    const uint64_t margin = std::max<uint64_t>(128, 65536 / ss);
    struct Range {
        uint64_t first, length;
    };
    const std::array<Range, 3> ranges = {Range{0, n * 5 / 100}, Range{n * 5 / 100, n * 15 / 100},
                                         Range{n * 20 / 100, n - n * 20 / 100}};
    for (const Range& rg : ranges)
        if (rg.length <= margin) {
            raise_error(slot, kErrParam, "RangeLenMB is too small for the three ranges");
            return;
        }

    std::vector<uint8_t> range_table, size_table, op_table(100);
    for (uint8_t r = 0; r < 3; ++r) range_table.insert(range_table.end(), r == 0 ? 50 : r == 1 ? 30 : 20, r);
    for (uint8_t s = 0; s < 12; ++s) size_table.insert(size_table.end(), kSizeCount[s], s);
    fill_ratio_table(op_table, write_ratio, crypto_random32());
    shuffle_table(range_table);
    shuffle_table(size_table);

    constexpr size_t kBuffer = 512 * 1024;
    const uint32_t depth = compare ? 1 : 32;
    // The write pattern, then a place of its own for every read in flight.
    AlignedBuffer memory(kBuffer * (1 + depth)), readback(compare ? kBuffer : 0);
    if (!memory || (compare && !readback)) {
        raise_error(slot, kErrHostMemory, "data buffer");
        return;
    }
    const std::span<uint8_t> data = memory.span().first(kBuffer);
    pattern_fill(data, kPatternAuto);
    const std::string base = output_stem(slot);
    LatencyHistogram latency;
    latency.reset(1000000000ull);
    ReplayClock clock(slot, limit_sec);
    RequestWindow window(*target.io, depth, memory.span(), &latency,
                         [&clock] { return clock.cancelled() || clock.time_up(); });
    window.set_read_area(memory.span().subspan(kBuffer), kBuffer);
    std::unique_ptr<RequestWindow> verify;
    if (compare)
        verify = std::make_unique<RequestWindow>(*target.io, 1, readback.span(), nullptr, [&clock] { return clock.cancelled(); });

    std::array<std::array<uint64_t, 12>, 3> counts{};
    uint64_t writes = 0, reads = 0, bytes = 0;
    WorkloadRandom rng(crypto_random32());
    const uint64_t limit = limit_mb << 20;
    size_t k = 0;
    int32_t failure = 0;
    while (!(limit && bytes >= limit) && !clock.cancelled() && !clock.time_up()) {
        if (clock.tick())
            set_status_text(slot, fmt("%s Time: %I64d sec | TxSize: %d.%d GB", clock.spinner(), clock.seconds(),
                                      static_cast<uint32_t>(bytes >> 30), static_cast<uint32_t>((bytes * 10 >> 30) % 10)));
        // The tables are shuffled again after every pass, so that ranges and
        // sizes pair freely while each keeps its exact counts per 100.
        if (k && k % 100 == 0) {
            shuffle_table(range_table);
            shuffle_table(size_table);
        }
        const uint8_t ri = range_table[k % 100], si = size_table[k % 100], op = op_table[k % 100];
        ++k;
        const Range& rg = ranges[ri];
        uint32_t size = std::max(kSizeBytes[si], ss);
        size = (size + ss - 1) / ss * ss;
        uint64_t sector = rg.first + rng.below64(rg.length - margin);
        IoRequest req;
        req.op = op ? IoOp::Write : IoOp::Read;
        req.offset = (start_lba + sector) * ss;
        req.length = size;
        req.data = op ? data.data() : nullptr;  // a read lands in its own place
        if (!window.submit(req)) {
            if (window.failed()) failure = window.failed_request().op == IoOp::Write ? kErrWriteIO : kErrReadIO;
            break;
        }
        ++counts[ri][si];
        (op ? writes : reads) += 1;
        bytes += size;
        if (compare && op) {
            // Read the write back and compare; a difference is read once more
            // after a second to tell a transient from a stored miscompare.
            if (!window.drain()) {
                if (window.failed()) failure = kErrWriteIO;
                break;
            }
            IoRequest rd = req;
            rd.op = IoOp::Read;
            rd.data = readback.data();
            if (!verify->run_one(rd)) {
                if (verify->failed()) failure = kErrReadIO;
                break;
            }
            int64_t bad = first_difference(data.data(), readback.data(), size, ss);
            if (bad >= 0) {
                std::vector<uint8_t> first(readback.data() + bad * ss, readback.data() + (bad + 1) * ss);
                workload_sleep_ms(1000);
                bool second_ok = verify->run_one(rd) && first_difference(data.data(), readback.data(), size, ss) < 0;
                auto save = [&](const char* suffix, const uint8_t* at) {
                    write_file_bytes(base + suffix, std::string_view(reinterpret_cast<const char*>(at), ss));
                };
                save("_Pattern.Hex", data.data() + bad * ss);
                save("_Read1.Hex", first.data());
                save("_Read2.Hex", readback.data() + bad * ss);
                log_text(slot, fmt("Miscompare LBA: 0x%I64X, Size: %d, First Wrong LBA: 0x%I64X", req.offset / ss, size,
                                   req.offset / ss + static_cast<uint64_t>(bad)));
                failure = second_ok ? kErrMiscompareThenCorrect : kErrMiscompareTwice;
                raise_error(slot, failure,
                            second_ok ? "1st Read is Miscompare, 2nd Read is Correct!"
                                      : "1st Read is Miscompare, 2nd Read is still MisCompare!");
                set_status_text(slot, "");
                return;
            }
        }
    }
    if (!failure && !window.drain() && window.failed())
        failure = window.failed_request().op == IoOp::Write ? kErrWriteIO : kErrReadIO;
    if (clock.cancelled()) show_cancel(slot, window.in_flight(), depth);
    if (!failure && window.stalled()) failure = kErrIoTimeout;
    set_status_text(slot, "");
    log_text(slot, fmt("Write Commands: %I64d", writes));
    log_text(slot, fmt("Read Commands : %I64d", reads));
    log_text(slot, fmt("TxSize(GB)    : %d.%d", static_cast<uint32_t>(bytes >> 30),
                       static_cast<uint32_t>((bytes * 10 >> 30) % 10)));
    for (const std::string& line : distribution_lines(counts)) log_text(slot, line);
    append_qos(base, latency.snapshot());
    if (failure) {
        if (failure == kErrIoTimeout) raise_error(slot, failure, "no request completed for 30 seconds");
        else report_failure(slot, target, window, failure);
        return;
    }
    set_result_number(slot, name, static_cast<int64_t>(writes + reads));
}

}  // namespace tb
