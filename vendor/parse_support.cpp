#include "vendor/parse_support.h"

#include <algorithm>

#include "common/file_handle.h"
#include "common/format.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/job_log_writer.h"
#include "ui/hex_dump.h"

namespace tb {

std::optional<LoadedFile> load_vendor_file(int slot, std::string name, std::string_view ext, std::string_view title) {
    switch (resolve_file_argument(slot, name, false, ext, title)) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return std::nullopt;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, name); return std::nullopt;
    }
    std::string data;
    if (!read_file_bytes(native_path(name), data)) {
        raise_error(slot, kErrFileOpen, name);
        return std::nullopt;
    }
    LoadedFile file;
    file.path = name;
    file.bytes.assign(data.begin(), data.end());
    log_text(slot, fmt("File : %s (%d bytes)", name, file.bytes.size()));
    return file;
}

bool check_file_size(int slot, const LoadedFile& file, size_t expected) {
    if (file.bytes.size() == expected) return true;
    raise_error(slot, kErrFileSize,
                fmt("%s has %I64d bytes; the record has %I64d", file.path, static_cast<uint64_t>(file.bytes.size()),
                    static_cast<uint64_t>(expected)));
    return false;
}

void raise_bad_record(int slot, const LoadedFile& file, std::string_view what) {
    raise_error(slot, kErrInvalidData, fmt("%s is no valid %s", file.path, what));
}

ReportLines hex_view_lines(std::span<const uint8_t> bytes, size_t offset, size_t length) {
    ReportLines out;
    if (offset >= bytes.size()) return out;
    const size_t end = offset + std::min(length, bytes.size() - offset);
    const std::string_view data(reinterpret_cast<const char*>(bytes.data()), end);
    for (size_t at = offset; at < end; at += 16) add_line(out, hex_dump_row(data, at), colour::kCyan);
    return out;
}

bool print_lines(int slot, const ReportLines& lines) { return write_report(slot, lines); }

bool save_lines(int slot, std::string save_name, const ReportLines& lines) {
    if (save_name.empty()) return true;
    switch (resolve_file_argument(slot, save_name, true, "txt", "Text File")) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return false;
        case FileResolve::NotFound: raise_error(slot, kErrOutputFile, save_name); return false;
    }
    std::string text;
    for (const ReportLine& line : lines) text += line.text + "\r\n";
    if (!write_file_bytes(native_path(save_name), text)) {
        raise_error(slot, kErrOutputFile, save_name);
        return false;
    }
    return true;
}

}  // namespace tb
