// Eight-byte draws from the system's cryptographic random source, fetched a
// few kilobytes at a time: each draw is still eight fresh bytes of that
// source, without a system call for every one. Not locked: its owner
// guards it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tb {

class CryptoRandomPool {
public:
    uint64_t next64();

private:
    static constexpr size_t kWords = 512;
    std::array<uint64_t, kWords> words_{};
    size_t used_ = kWords;  // all taken: the first draw fills the pool
};

}  // namespace tb
