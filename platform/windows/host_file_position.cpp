#include "platform/host/file_position.h"

#include <stdio.h>

#include <limits>

namespace tb::host {

bool seek_file(std::FILE* f, std::uint64_t offset) {
    if (f == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<long long>::max())) return false;
    return ::_fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
}

}  // namespace tb::host
