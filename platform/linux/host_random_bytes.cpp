#include "platform/host/random_bytes.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace tb::host {

void random_bytes(void* out, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(out);
    while (n > 0) {
        ssize_t got = ::getrandom(p, n, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        p += got;
        n -= static_cast<std::size_t>(got);
    }
}

}  // namespace tb::host
