// The outcome of a data-integrity compare command and the report block that
// ends it in the job log: where the first miscompare was, the three
// one-sector hex files of the expected data and of both reads, and the
// "Compare Result : ... | n" line scripts read back.
//
// A command that finds a difference:
//   MiscompareReport r;  r.base_path = output_stem(slot);
//   record_first_read(r, request_lba, bytes, sector_size, expected, read1);
//   ... wait_before_second_read(); read the request again into read2 ...
//   record_second_read(r, sector_size, expected, read2);  // -70 or -71
//   finish_compare(slot, r, position_lba);
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tb {

struct MiscompareReport {
    int32_t result = 1;            // 1: no error; -70, -71 or another error code
    uint64_t request_lba = 0;      // first LBA of the failing request
    uint64_t first_wrong_lba = 0;  // first sector of the first read that differs
    uint64_t request_bytes = 0;    // size of the failing request
    std::string base_path;         // output stem the hex files are named after
    uint32_t cycle = 1;            // cycle the command was in, from 1
    uint32_t percent = 0;          // percent of that cycle done
};

// "<base>_Pattern.Hex", "<base>_Read1.Hex", "<base>_Read2.Hex".
std::string pattern_hex_path(const std::string& base);
std::string read1_hex_path(const std::string& base);
std::string read2_hex_path(const std::string& base);

// Index of the first sector in which the two buffers differ (compared over
// the shorter one); nullopt when they agree.
std::optional<uint64_t> first_different_sector(std::span<const uint8_t> a, std::span<const uint8_t> b,
                                               uint32_t sector_size);

// A first read of the request [request_lba, + request_bytes) that differs
// from `expected`: fills the record and writes the expected and the read
// sector of the first difference to the Pattern and Read1 files. Returns
// false when the buffers agree or a file cannot be written.
bool record_first_read(MiscompareReport& r, uint64_t request_lba, uint64_t request_bytes, uint32_t sector_size,
                       std::span<const uint8_t> expected, std::span<const uint8_t> read1);

// The second read of the same request (an empty span when it failed): its
// sector at the first wrong LBA goes to the Read2 file (zeros when it
// failed), and the result becomes -70 when the whole second read matches
// `expected`, else -71. Returns false when the file cannot be written.
bool record_second_read(MiscompareReport& r, uint32_t sector_size, std::span<const uint8_t> expected,
                        std::span<const uint8_t> read2);

// The pause before the second read (1 s of workload time).
void wait_before_second_read();

// The report block: "Last Cycle Data, ..."; for -70/-71 the miscompare
// lines with the hex views of the three files; then the "Compare Result"
// line. A miscompare also stops the other instances' jobs when the
// program-wide stop-on-error broadcast is on.
void print_compare_report(int slot, const MiscompareReport& r);

// Ends a compare command: the report block, then, when the result is an
// error, "CurrentLBA: 0x%08X%08X" with the position reached (in sectors)
// and the error raised with `detail` (by default that same position text).
void finish_compare(int slot, const MiscompareReport& r, uint64_t position_lba, std::string_view detail = {});

// "CurrentLBA: 0x%08X%08X" of a position in sectors.
std::string current_lba_text(uint64_t lba);

}  // namespace tb
