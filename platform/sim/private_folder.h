// A folder that belongs to the user running the program and that nobody else
// may enter: the simulated machine keeps its disk images, device states and
// volume folders in one. The folder is created private to the user when
// missing; an existing one must be a real folder (no link), owned by the
// user and closed to everybody else, or it is refused. The folder stays
// open, so the files inside are reached through the checked folder itself
// and not through its name again.
#pragma once

#include <memory>
#include <string>

#include "platform/sim/host_folder.h"

namespace tb::sim {

class PrivateFolder {
  public:
    // Opens (creating when missing) and checks the folder; nullptr with the
    // reason in `error` when it cannot be used.
    static std::unique_ptr<PrivateFolder> open(const std::string& path, std::string* error);

    const std::string& path() const { return folder_.path; }
    const HostFolder& folder() const { return folder_; }
    std::string path_of(const std::string& name) const { return folder_.path_of(name); }

    // Makes sure the sub-folder `name` exists and passes the same checks.
    bool ensure_subfolder(const std::string& name, std::string* error) const;

  private:
    explicit PrivateFolder(HostFolder folder) : folder_(std::move(folder)) {}

    HostFolder folder_;
};

}  // namespace tb::sim
