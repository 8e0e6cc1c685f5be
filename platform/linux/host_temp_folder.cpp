#include "platform/host/temp_folder.h"

#include <cstdlib>

namespace tb::host {

std::filesystem::path temp_folder() {
    const char* dir = std::getenv("TMPDIR");
    if (dir != nullptr && dir[0] != '\0') return std::filesystem::path(dir);
    return std::filesystem::path("/tmp");
}

}  // namespace tb::host
