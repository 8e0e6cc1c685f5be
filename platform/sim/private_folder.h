// A folder that belongs to the user running the program and that nobody else
// may enter: the simulated machine keeps its disk images, device states and
// volume folders in one. The folder is created with mode 0700 when missing;
// an existing one must be a real folder (no symbolic link), owned by the
// effective user and closed to group and others, or it is refused. The
// folder stays open, so the files inside are reached through the checked
// folder itself and not through its name again.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/unique_fd.h"

namespace tb::sim {

class PrivateFolder {
  public:
    // Opens (creating when missing) and checks the folder; nullptr with the
    // reason in `error` when it cannot be used.
    static std::unique_ptr<PrivateFolder> open(const std::string& path, std::string* error);

    const std::string& path() const { return path_; }
    int fd() const { return fd_.get(); }
    std::string path_of(const std::string& name) const { return path_ + "/" + name; }

    // Makes sure the sub-folder `name` exists and passes the same checks.
    bool ensure_subfolder(const std::string& name, std::string* error) const;

  private:
    PrivateFolder(std::string path, linuxdisk::UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}

    std::string path_;
    linuxdisk::UniqueFd fd_;
};

}  // namespace tb::sim
