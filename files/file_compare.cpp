// File_Compare: two files, or two folders' files, compared in 128 KiB
// pieces. A difference is read again after a second: −70 when the second
// read agrees, −71 when it still differs, with the two pieces of the first
// read kept as "<stem>_Src.hex" and "<stem>_Dest.hex".
#include <algorithm>
#include <optional>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "files/file_commands.h"
#include "files/file_list.h"
#include "files/file_pair_args.h"
#include "files/file_place.h"
#include "files/file_size.h"
#include "files/file_sources.h"
#include "platform/host/file_position.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "workload/command_support.h"

namespace tb {

namespace {

constexpr size_t kComparePiece = 128 * 1024;

enum class CompareEnd { Same, Stopped, Failed };

// A file of the destination folder with no file of its name in the source
// folder makes the folders differ too; false after raising it.
bool no_extra_destination_files(int slot, const std::string& source, const std::string& destination) {
    for (const std::string& file : files_in_folder(destination)) {
        if (file_size_of(path_join(source, path_file_name(file)))) continue;
        log_error_line(slot, fmt("Destination: %s", file));
        raise_error(slot, kErrFileOpen, fmt("%s has no file of its name in %s", file, source));
        return false;
    }
    return true;
}

// `n` bytes at `offset`; false when the file cannot give them all.
bool read_piece(const std::string& path, uint64_t offset, std::vector<uint8_t>& out, size_t n) {
    out.resize(n);
    FileHandle f = FileHandle::open(path, "rb");
    return f && host::seek_file(f.get(), offset) && std::fread(out.data(), 1, n, f.get()) == n;
}

void save_and_show(int slot, const std::string& path, const std::vector<uint8_t>& bytes) {
    write_file_bytes(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    attach_data_file(slot, colour::kOlive, path, true);
}

void report_difference(int slot, const FilePair& pair, uint64_t piece_offset, const std::vector<uint8_t>& src,
                       const std::vector<uint8_t>& dst) {
    const auto diff = std::mismatch(src.begin(), src.end(), dst.begin());
    const uint64_t at = piece_offset + static_cast<uint64_t>(diff.first - src.begin());
    sleep_cancellable(slot, 1000);
    std::vector<uint8_t> src2, dst2;
    const bool second_same = read_piece(pair.source, piece_offset, src2, src.size()) &&
                             read_piece(pair.destination, piece_offset, dst2, dst.size()) && src2 == dst2;
    log_error_line(slot, fmt("Source File: %s", pair.source));
    log_error_line(slot, fmt("Destination: %s", pair.destination));
    log_error_line(slot, fmt("Miscompare Offset: 0x%I64X", at));
    const std::string stem = output_stem(slot);
    save_and_show(slot, stem + "_Src.hex", src);
    save_and_show(slot, stem + "_Dest.hex", dst);
    raise_error(slot, second_same ? kErrMiscompareThenCorrect : kErrMiscompareTwice,
                fmt("%s, %s at offset 0x%I64X", pair.source, pair.destination, at));
}

CompareEnd compare_one(int slot, const FilePair& pair) {
    const std::optional<uint64_t> source_size = file_size_of(pair.source);
    const std::optional<uint64_t> destination_size = file_size_of(pair.destination);
    if (!source_size || !destination_size) {
        log_error_line(slot, fmt("Destination: %s", pair.destination));
        raise_error(slot, kErrFileOpen, source_size ? pair.destination : pair.source);
        return CompareEnd::Failed;
    }
    if (*source_size != *destination_size) {
        log_error_line(slot, fmt("Source File: %s", pair.source));
        log_error_line(slot, fmt("Destination: %s", pair.destination));
        raise_error(slot, kErrCompareSize,
                    fmt("%I64d bytes and %I64d bytes", *source_size, *destination_size));
        return CompareEnd::Failed;
    }
    FileHandle src = FileHandle::open(pair.source, "rb");
    FileHandle dst = FileHandle::open(pair.destination, "rb");
    if (!src || !dst) {
        raise_error(slot, kErrFileOpen, src ? pair.destination : pair.source);
        return CompareEnd::Failed;
    }
    std::vector<uint8_t> a(kComparePiece), b(kComparePiece);
    for (uint64_t offset = 0; offset < *source_size;) {
        if (cancel_requested(slot)) return CompareEnd::Stopped;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kComparePiece, *source_size - offset));
        const size_t got_a = std::fread(a.data(), 1, n, src.get());
        const size_t got_b = std::fread(b.data(), 1, n, dst.get());
        if (got_a != n || got_b != n) {
            raise_error(slot, kErrReadIO,
                        fmt("%s ended at offset 0x%I64X", got_a != n ? pair.source : pair.destination,
                            offset + std::min(got_a, got_b)));
            return CompareEnd::Failed;
        }
        if (!std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin())) {
            a.resize(n);
            b.resize(n);
            report_difference(slot, pair, offset, a, b);
            return CompareEnd::Failed;
        }
        offset += n;
    }
    return CompareEnd::Same;
}

}  // namespace

void cmd_File_Compare(int slot, const std::string& args, const std::string& name) {
    const std::optional<FilePairWork> given = read_file_pair_args(slot, args, "File_Compare", FileBox::Open);
    if (!given) return;
    const std::string& from = given->from;
    const std::string& to = given->to;
    const FilePairs& work = given->work;
    if (work.many && !is_folder(to)) {
        log_error_line(slot, fmt("Destination: %s", to));
        raise_error(slot, kErrFileOpen, fmt("%s is no folder", to));
        return;
    }
    const int line = work.many ? log_text(slot, "Checking Files: 0") : -1;
    int checked = 0;
    for (const FilePair& pair : work.pairs) {
        const CompareEnd end = compare_one(slot, pair);
        if (end == CompareEnd::Failed) return;
        if (end == CompareEnd::Stopped) {
            log_text(slot, kCancelCommandText, colour::kCyan);
            return;
        }
        ++checked;
        if (work.many) rewrite_line(slot, line, fmt("Checking Files: %d", checked));
    }
    if (is_folder(from) && !no_extra_destination_files(slot, from, to)) return;
    if (work.many) log_text(slot, fmt("Check Files: %d", checked));
    log_text(slot, "File Compare No Different.");
    set_result_number(slot, name, checked);
}

}  // namespace tb
