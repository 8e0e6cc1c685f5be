#include "platform/host/open_file.h"

namespace tb::host {

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

}  // namespace tb::host
