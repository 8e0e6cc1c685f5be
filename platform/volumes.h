// The seam between the workloads and a machine's volumes and files: where a
// volume's files live, how much room it has, and the test files made on it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

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
    // The runs of LBAs a file occupies on its volume come here with the
    // file commands.
};

// The volumes in use (the simulated machine's unless others were installed).
Volumes& volumes();
void set_volumes(std::unique_ptr<Volumes> v);

}  // namespace tb
