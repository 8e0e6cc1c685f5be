#include "vendor/vsc_saved_file.h"

#include "common/file_handle.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/job_log_writer.h"

namespace tb {

std::optional<std::string> vsc_record_path(int slot, std::string requested, std::string_view extension) {
    if (requested.empty()) return output_stem(slot) + std::string(extension);
    const std::string_view bare = extension.empty() ? extension : extension.substr(1);
    switch (resolve_file_argument(slot, requested, true, bare, "Save File")) {
        case FileResolve::Chosen: return requested;
        case FileResolve::Cancelled: set_cancel(slot); return std::nullopt;
        case FileResolve::NotFound: break;
    }
    raise_error(slot, kErrOutputFile, requested);
    return std::nullopt;
}

bool vsc_write_record(int slot, const std::string& path, std::span<const uint8_t> data) {
    if (!write_file_bytes(path, {reinterpret_cast<const char*>(data.data()), data.size()})) {
        raise_error(slot, kErrOutputFile, path);
        return false;
    }
    attach_data_file(slot, colour::kOlive, path, false);
    return true;
}

std::optional<std::string> vsc_save_record(int slot, std::string requested, std::string_view extension,
                                           std::span<const uint8_t> data) {
    std::optional<std::string> path = vsc_record_path(slot, std::move(requested), extension);
    if (!path || !vsc_write_record(slot, *path, data)) return std::nullopt;
    return path;
}

}  // namespace tb
