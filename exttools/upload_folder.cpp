#include "exttools/upload_folder.h"

#include <algorithm>
#include <filesystem>

#include "platform/paths.h"

namespace tb {

std::vector<std::string> files_to_upload(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(fs_path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        if (it->is_regular_file(type_ec)) names.push_back(utf8_path(it->path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

FolderUpload upload_folder(const TransferServer& server, const std::string& folder,
                           const std::string& remote_folder, const std::function<bool()>& cancelled) {
    FolderUpload out;
    TransferControl control;
    control.cancelled = cancelled;
    const TransferResult made = file_transfer().make_folder(server, remote_folder, control);
    if (made.status == TransferStatus::Cancelled) {
        out.cancelled = true;
        return out;
    }
    if (!made.ok()) {
        out.unreached = made.detail;
        return out;
    }
    out.reached = true;
    const std::vector<std::string> names = files_to_upload(folder);
    out.files = names.size();
    std::string base = remote_folder;
    if (!base.empty() && base.back() != '/') base += '/';
    for (const std::string& name : names) {
        const TransferResult r = file_transfer().put(server, path_join(folder, name), base + name, control);
        if (r.status == TransferStatus::Cancelled) {
            out.cancelled = true;
            break;
        }
        if (r.ok()) {
            ++out.uploaded;
            continue;
        }
        out.failures.push_back({name, r.detail});
        // A server that went away or stalls would only make every further file wait as long.
        if (r.status == TransferStatus::Unreachable || r.status == TransferStatus::TimedOut) break;
    }
    return out;
}

}  // namespace tb
