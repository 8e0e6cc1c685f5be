// The seam between the workloads and a machine's volumes and files: where a
// volume's files live, how much room it has, and the test files made on it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/block_storage.h"

namespace tb {

// A file being written for a test, unbuffered where the file system allows.
class NewFile {
public:
    virtual ~NewFile() = default;
    virtual bool write_at(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    // Puts what was written on the medium; false when that failed.
    virtual bool finish() = 0;
};

// One piece of a file lying in consecutive bytes of its disk.
struct FileExtent {
    uint64_t file_offset = 0;  // bytes into the file
    uint64_t disk_offset = 0;  // bytes from the start of the disk (not of the volume)
    uint64_t length = 0;       // bytes
};

// A file's map: its length and its pieces in file order. Bytes kept inside
// the file system's own records, holes and not yet written ranges have no
// piece.
struct FileExtents {
    uint64_t file_size = 0;
    std::vector<FileExtent> extents;
};

enum class ExtentsStatus {
    Ok,
    NoFile,       // the file does not exist
    Failed,       // it exists but cannot be opened or mapped
    Unsupported,  // this machine or file system gives no map
};

class Volumes {
public:
    virtual ~Volumes() = default;
    // The root folder of a volume (an address with a volume letter), without
    // a trailing separator; empty when it cannot be reached.
    virtual std::string root_folder(const StorageAddress& volume) = 0;
    // Free bytes on the file system holding `folder` (0 when unknown).
    virtual uint64_t free_bytes(const std::string& folder) = 0;
    // Makes a file anew (an existing one is emptied) for sequential writing,
    // with file-system compression off; nullptr when it cannot be made.
    virtual std::unique_ptr<NewFile> create_file(const std::string& path) = 0;
    virtual bool remove_file(const std::string& path) = 0;
    // Where a file's bytes lie on its disk (see FileExtents); the status
    // says why there is no map.
    virtual ExtentsStatus file_extents(const std::string& path, FileExtents& out, std::string* error) {
        (void)path;
        (void)out;
        if (error) *error = "this machine cannot map files to their sectors";
        return ExtentsStatus::Unsupported;
    }
    // The byte offset on its disk where a volume starts; nullopt when it
    // cannot be told.
    virtual std::optional<uint64_t> volume_start(const StorageAddress& volume) {
        (void)volume;
        return std::nullopt;
    }
};

// The volumes in use (the simulated machine's unless others were installed).
Volumes& volumes();
void set_volumes(std::unique_ptr<Volumes> v);

}  // namespace tb
