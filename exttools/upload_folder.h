// Copying the files of one local folder (not its sub-folders) into a remote
// folder of the log server, file by file under their own names.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/file_transfer.h"

namespace tb {

struct UploadFailure {
    std::string file_name;
    std::string detail;
};

struct FolderUpload {
    bool reached = false;     // the server was reached and the remote folder made
    std::string unreached;    // why not, when not
    bool cancelled = false;
    size_t files = 0;         // files in the local folder
    size_t uploaded = 0;
    std::vector<UploadFailure> failures;

    bool complete() const { return reached && !cancelled && failures.empty() && uploaded == files; }
};

// The regular files directly in `folder`, by name.
std::vector<std::string> files_to_upload(const std::string& folder);

// Uploads every file of `folder` below `remote_folder`; stops at a cancel.
FolderUpload upload_folder(const TransferServer& server, const std::string& folder,
                           const std::string& remote_folder, const std::function<bool()>& cancelled);

}  // namespace tb
