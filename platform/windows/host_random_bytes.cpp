#include "platform/host/random_bytes.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

namespace tb::host {

void random_bytes(void* out, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(out);
    while (n > 0) {
        ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(n, 1u << 30));
        NTSTATUS status = ::BCryptGenRandom(nullptr, p, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (status < 0) {
            char what[48];
            std::snprintf(what, sizeof what, "BCryptGenRandom status 0x%08lX",
                          static_cast<unsigned long>(status));
            throw std::system_error(EIO, std::generic_category(), what);
        }
        p += chunk;
        n -= chunk;
    }
}

}  // namespace tb::host
