#include "platform/host/file_position.h"

#include <sys/types.h>

#include <limits>

namespace tb::host {

bool seek_file(std::FILE* f, std::uint64_t offset) {
    if (f == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return ::fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace tb::host
