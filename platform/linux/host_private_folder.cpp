#include "platform/host/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tb::host {

bool create_private_folder(const std::filesystem::path& path) { return ::mkdir(path.c_str(), 0700) == 0; }

bool is_own_folder(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

}  // namespace tb::host
