#include "workload/compare_report.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "script/error_policy.h"
#include "script/sync_commands.h"
#include "ui/job_log.h"
#include "workload/engine.h"

namespace tb {

namespace {

constexpr int kBannerFontSize = 20;
constexpr double kSecondReadPauseMs = 1000;

bool is_miscompare(int32_t code) { return code == kErrMiscompareThenCorrect || code == kErrMiscompareTwice; }

// The sector at `index` of `data`, zero-padded when the data ends first.
std::string sector_bytes(std::span<const uint8_t> data, uint64_t index, uint32_t sector_size) {
    std::string out(sector_size, '\0');
    const uint64_t start = index * sector_size;
    if (start < data.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(sector_size, data.size() - start));
        std::memcpy(out.data(), data.data() + start, n);
    }
    return out;
}

void show_hex_file(int slot, const char* title, const std::string& path) {
    log_text(slot, title);
    attach_data_file(slot, colour::kOlive, path, true);
}

void print_miscompare_lines(int slot, const MiscompareReport& r) {
    const bool second_correct = r.result == kErrMiscompareThenCorrect;
    write_line(slot, "Miscompare", LineFormat::Normal, kBannerFontSize, colour::kRed);
    log_text(slot,
             second_correct ? "Error Type   : 1st Read is Miscompare, 2nd Read is Correct!"
                            : "Error Type   : 1st Read is Miscompare, 2nd Read is still MisCompare!",
             colour::kRed);
    log_text(slot, fmt("Error Action : LBA:0x%I64X , AccessSize:0x%I64X", r.request_lba, r.request_bytes),
             colour::kRed);
    log_text(slot, fmt("Error LBA    : 0x%I64X ", r.first_wrong_lba), colour::kRed);
    show_hex_file(slot, "Pattern Data", pattern_hex_path(r.base_path));
    show_hex_file(slot, "1st Read Data", read1_hex_path(r.base_path));
    show_hex_file(slot, "2nd Read Data", read2_hex_path(r.base_path));
    log_text(slot,
             second_correct ? "Compare Result : 1st Read is Miscompare, 2nd Read is Correct! | 1"
                            : "Compare Result : 1st Read is Miscompare, 2nd Read is still Miscompare! | 2",
             colour::kRed);
}

}  // namespace

std::string pattern_hex_path(const std::string& base) { return base + "_Pattern.Hex"; }
std::string read1_hex_path(const std::string& base) { return base + "_Read1.Hex"; }
std::string read2_hex_path(const std::string& base) { return base + "_Read2.Hex"; }

std::optional<uint64_t> first_different_sector(std::span<const uint8_t> a, std::span<const uint8_t> b,
                                               uint32_t sector_size) {
    const size_t n = std::min(a.size(), b.size());
    const auto diff = std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
    if (diff.first == a.begin() + static_cast<std::ptrdiff_t>(n)) return std::nullopt;
    return static_cast<uint64_t>(diff.first - a.begin()) / (sector_size ? sector_size : 512);
}

bool record_first_read(MiscompareReport& r, uint64_t request_lba, uint64_t request_bytes, uint32_t sector_size,
                       std::span<const uint8_t> expected, std::span<const uint8_t> read1) {
    const std::optional<uint64_t> wrong = first_different_sector(expected, read1, sector_size);
    if (!wrong) return false;
    r.request_lba = request_lba;
    r.request_bytes = request_bytes;
    r.first_wrong_lba = request_lba + *wrong;
    return write_file_bytes(pattern_hex_path(r.base_path), sector_bytes(expected, *wrong, sector_size)) &&
           write_file_bytes(read1_hex_path(r.base_path), sector_bytes(read1, *wrong, sector_size));
}

bool record_second_read(MiscompareReport& r, uint32_t sector_size, std::span<const uint8_t> expected,
                        std::span<const uint8_t> read2) {
    const bool matches = !read2.empty() && read2.size() >= expected.size() &&
                         !first_different_sector(expected, read2, sector_size);
    r.result = matches ? kErrMiscompareThenCorrect : kErrMiscompareTwice;
    const uint64_t index = r.first_wrong_lba - r.request_lba;
    return write_file_bytes(read2_hex_path(r.base_path), sector_bytes(read2, index, sector_size));
}

void wait_before_second_read() { workload_sleep_ms(kSecondReadPauseMs); }

void print_compare_report(int slot, const MiscompareReport& r) {
    log_text(slot, fmt("Last Cycle Data, Cycle%d, Process:%d%%", r.cycle, r.percent));
    if (is_miscompare(r.result)) {
        print_miscompare_lines(slot, r);
        broadcast_error_stop_if_enabled();
        return;
    }
    if (r.result == 1) log_text(slot, "Compare Result : Compare Finish. No error exist. | 0");
    else log_text(slot, "Compare Result : Other Error. | 255", colour::kRed);
}

std::string current_lba_text(uint64_t lba) {
    return fmt("CurrentLBA: 0x%08X%08X", static_cast<uint32_t>(lba >> 32), static_cast<uint32_t>(lba));
}

void finish_compare(int slot, const MiscompareReport& r, uint64_t position_lba, std::string_view detail) {
    print_compare_report(slot, r);
    if (r.result >= 0) return;
    const std::string position = current_lba_text(position_lba);
    log_text(slot, position);
    raise_error(slot, r.result, detail.empty() ? std::string_view(position) : detail);
}

}  // namespace tb
