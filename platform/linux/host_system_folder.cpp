#include <unistd.h>

#include "platform/paths.h"

namespace tb {

bool is_system_folder(const std::string& folder) {
    const std::string path = absolute_path(folder);
    // A folder still to be made is judged by the nearest one that exists.
    std::string existing = path;
    while (!folder_exists(existing) && existing.size() > 1) existing = path_folder(existing);
    if (::access(existing.c_str(), W_OK) != 0) return true;
    static constexpr const char* kSystemRoots[] = {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64",
                                                   "/libx32", "/opt", "/etc", "/boot", "/snap"};
    for (const char* root : kSystemRoots) {
        const std::string_view r(root);
        if (path == r || (path.size() > r.size() && path.compare(0, r.size(), r) == 0 && path[r.size()] == '/'))
            return true;
    }
    return false;
}

}  // namespace tb
