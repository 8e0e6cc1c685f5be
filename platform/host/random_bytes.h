// Bytes from the system's cryptographic random source.
#pragma once

#include <cstddef>

namespace tb::host {

// Fills `n` bytes at `out`; throws std::system_error when the source fails.
void random_bytes(void* out, std::size_t n);

}  // namespace tb::host
