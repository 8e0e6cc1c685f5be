// File_CompareWithPattern: a file read from an offset in 16 MiB pieces and
// compared with the data File_Write puts there (the pattern, with the
// offset marks of every 512-byte block when CheckHead is TRUE).
#include <algorithm>
#include <optional>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "files/file_commands.h"
#include "files/file_pattern_arg.h"
#include "files/file_piece.h"
#include "files/file_place.h"
#include "files/file_progress.h"
#include "files/file_read_job.h"
#include "files/file_size.h"
#include "platform/host/file_position.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "workload/command_support.h"
#include "workload/pattern.h"

namespace tb {

namespace {

constexpr size_t kPatternPiece = size_t{16} << 20;

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, ""},
    {"Pattern", "WritePattern", ArgType::Text, "0x55AA33CC"},
    {"CheckHead", "", ArgType::Bool, "TRUE"},
    {"OffsetByte", "Offset", ArgType::Number, "0", 0},
};

struct PatternCheck {
    std::string path;
    uint32_t pattern = 0;
    bool marks = true;
};

// The 512-byte block of `data` (read from `piece_offset`) that holds byte `at`.
std::string block_around(const std::vector<uint8_t>& data, uint64_t piece_offset, size_t at) {
    const uint64_t file_block = (piece_offset + at) / kFileBlockBytes * kFileBlockBytes;
    const size_t start = file_block < piece_offset ? 0 : static_cast<size_t>(file_block - piece_offset);
    const size_t n = std::min(kFileBlockBytes, data.size() - start);
    return std::string(reinterpret_cast<const char*>(data.data() + start), n);
}

void show_dump(int slot, const char* title, const std::string& path, const std::string& bytes) {
    write_file_bytes(path, bytes);
    log_text(slot, title);
    attach_data_file(slot, colour::kOlive, path, true);
}

// The difference at byte `at` of the piece at `offset`: read again after a
// second, reported with the three dumps; −70 or −71.
void report_miscompare(int slot, const std::string& name, const PatternCheck& check, uint64_t offset, const std::vector<uint8_t>& first,
                       size_t at) {
    sleep_cancellable(slot, 1000);
    std::vector<uint8_t> second(first.size());
    FileHandle f = FileHandle::open(check.path, "rb");
    const bool reread = f && host::seek_file(f.get(), offset) &&
                        std::fread(second.data(), 1, second.size(), f.get()) == second.size();
    const bool second_correct =
        reread && first_piece_difference(second, offset, check.pattern, check.marks) == second.size();
    std::vector<uint8_t> expected(first.size());
    fill_file_piece(expected, offset, check.pattern, check.marks);
    const uint64_t wrong = offset + at;
    log_error_line(slot, fmt("Miscompare File Offset : 0x%I64X", wrong));
    const std::string stem = output_stem(slot);
    show_dump(slot, "Pattern Data", stem + "_W.hex", block_around(expected, offset, at));
    show_dump(slot, "1st Read Data", stem + "_R.hex", block_around(first, offset, at));
    show_dump(slot, "2nd Read Data", stem + "_R2.hex", reread ? block_around(second, offset, at) : std::string());
    log_error_line(slot, second_correct ? "Compare Result : 1st Read is Miscompare, 2nd Read is Correct! | 1"
                                        : "Compare Result : 1st Read is Miscompare, 2nd Read is still MisCompare! | 2");
    set_result_number(slot, name, second_correct ? 1 : 2);
    raise_error(slot, second_correct ? kErrMiscompareThenCorrect : kErrMiscompareTwice,
                fmt("%s at offset 0x%I64X", check.path, wrong));
}

void other_error(int slot, const std::string& name, int32_t code, const std::string& detail) {
    log_error_line(slot, "Compare Result : Other Error. | 255");
    set_result_number(slot, name, 255);
    raise_error(slot, code, detail);
}

}  // namespace

void cmd_File_CompareWithPattern(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "File_CompareWithPattern", kSpecs);
    if (!a) return;
    const std::optional<uint32_t> pattern = parse_file_pattern(a->text("Pattern"));
    if (pattern == kPatternAuto) {
        log_error_line(slot, "Cannot support AUTO Pattern");
        raise_error(slot, kErrParam, "Cannot support AUTO Pattern");
        return;
    }
    if (!pattern) {
        raise_error(slot, kErrParam, fmt("File_CompareWithPattern: Pattern:%s is no 32-bit number", a->text("Pattern")));
        return;
    }
    const std::optional<std::string> path = place_file_to_read(slot, a->text("File"));
    if (!path) return;
    const std::optional<uint64_t> size = file_size_of(*path);
    FileHandle file = size ? FileHandle::open(*path, "rb") : FileHandle();
    if (!file) {
        raise_error(slot, kErrFileOpen, *path);
        return;
    }
    const uint64_t start = static_cast<uint64_t>(a->number("OffsetByte"));
    if (start >= *size) {
        log_error_line(slot, kOffsetPastEnd);
        raise_error(slot, kErrGeneric, kOffsetPastEnd);
        return;
    }
    if (!host::seek_file(file.get(), start)) {
        other_error(slot, name, kErrReadIO, fmt("%s: no seek to offset 0x%I64X", *path, start));
        return;
    }
    const PatternCheck check{*path, *pattern, a->flag("CheckHead")};
    log_text(slot, fmt("Pattern     : 0x%08X", check.pattern));
    FileProgressLine progress(slot, "File Compare with Pattern : ");
    std::vector<uint8_t> piece;
    for (uint64_t offset = start; offset < *size;) {
        if (cancel_requested(slot)) {
            log_text(slot, kCancelCommandText, colour::kCyan);
            return;
        }
        piece.resize(static_cast<size_t>(std::min<uint64_t>(kPatternPiece, *size - offset)));
        if (std::fread(piece.data(), 1, piece.size(), file.get()) != piece.size()) {
            other_error(slot, name, kErrReadIO, fmt("%s ended before offset 0x%I64X", *path, offset + piece.size()));
            return;
        }
        const size_t at = first_piece_difference(piece, offset, check.pattern, check.marks);
        if (at != piece.size()) {
            report_miscompare(slot, name, check, offset, piece, at);
            return;
        }
        offset += piece.size();
        progress.update(offset - start, *size - start);
    }
    log_text(slot, "Compare Result : Compare Finish. No error exist. | 0");
    set_result_number(slot, name, 0);
}

}  // namespace tb
