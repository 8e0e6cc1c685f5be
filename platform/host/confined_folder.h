// New files and folders written below one folder, never through a link: an
// archive's entries cannot be steered outside the folder they unpack into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tb::host {

// A file being written below the folder. Dropped without finish(), it is
// closed and removed.
class ConfinedFile {
public:
    virtual ~ConfinedFile() = default;
    virtual bool write(const char* data, std::size_t size) = 0;
    // Gives the file its permission bits (read-only when the owner may not
    // write, where the system has no such bits) and its modification time
    // (seconds since 1970; 0 leaves it), and closes it. False when the data
    // could not be written out; the file is removed then.
    virtual bool finish(unsigned mode, std::int64_t mtime) = 0;
};

class ConfinedFolder {
public:
    explicit ConfinedFolder(const std::filesystem::path& root);
    ~ConfinedFolder();
    ConfinedFolder(const ConfinedFolder&) = delete;
    ConfinedFolder& operator=(const ConfinedFolder&) = delete;

    bool is_open() const;

    // Makes the missing folders of the chain `folders` (one name each) below
    // the root; false when one of them is a link or cannot be made.
    bool make_folders(const std::vector<std::string>& folders) const;

    // Creates the file `leaf` anew in the folder chain `folders`; nullptr when
    // a part is a link or the file cannot be made.
    std::unique_ptr<ConfinedFile> create_file(const std::vector<std::string>& folders,
                                              const std::string& leaf) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tb::host
