#include "platform/host/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tb::host {

bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to,
                  std::string* error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    if (error != nullptr) *error = std::strerror(errno);
    return false;
}

}  // namespace tb::host
