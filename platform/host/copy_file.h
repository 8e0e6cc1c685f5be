// Copying one file's bytes to a new file: on Linux the kernel copies them
// where it can (copy_file_range, which lets the file system share or offload
// the data), else, and on Windows, they pass through a buffer in stretches
// with the progress between them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace tb::host {

// Called with the bytes copied so far and the source's size; returning
// false stops the copy.
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

enum class CopyOutcome {
    Copied,
    Stopped,             // the progress call asked to stop
    SourceFailed,        // the source cannot be opened or read
    DestinationFailed,   // the destination cannot be made or written (a full volume among others)
};

struct CopyResult {
    CopyOutcome outcome = CopyOutcome::Copied;
    std::string error;  // the system's reason when it failed
    bool by_kernel = false;  // every byte was copied by the system without passing through a buffer here
};

// Copies `from` into `to`, which is made anew (an existing file is
// replaced). After anything but Copied, `to` is removed.
CopyResult copy_file(const std::filesystem::path& from, const std::filesystem::path& to,
                     const CopyProgress& progress);

}  // namespace tb::host
