#include "workload/pattern.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <mutex>
#include <numeric>
#include <system_error>
#include <vector>

#include "platform/host/random_bytes.h"

namespace tb {

namespace {

void fill_random(void* out, size_t n) {
    try {
        host::random_bytes(out, n);
    } catch (const std::system_error&) {
        // No entropy source: fall back to the clock rather than fail.
        auto* p = static_cast<uint8_t*>(out);
        uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(t >> (8 * (i % 8)));
    }
}

}  // namespace

void crypto_random_fill(void* out, size_t n) { fill_random(out, n); }

uint32_t crypto_random32() {
    uint32_t v = 0;
    fill_random(&v, sizeof v);
    return v;
}

uint64_t crypto_random64() {
    uint64_t v = 0;
    fill_random(&v, sizeof v);
    return v;
}

uint32_t process_random32() {
    static std::mutex m;
    static bool seeded = false;
    static WorkloadRandom gen;
    std::lock_guard lock(m);
    if (!seeded) {
        gen.x = crypto_random32();
        seeded = true;
    }
    return gen.next() % 0xFFFFFFFFu;
}

uint32_t pattern_fill(std::span<uint8_t> buffer, uint32_t pattern) {
    uint32_t value = pattern == kPatternAuto ? process_random32() : pattern;
    pattern_fill_value(buffer, value);
    return value;
}

void pattern_fill_value(std::span<uint8_t> buffer, uint32_t value) {
    if (value == 0) {
        if (!buffer.empty()) std::memset(buffer.data(), 0, buffer.size());
        return;
    }
    // One block of the value, copied whole: wide stores rather than one
    // store per four bytes (the write/verify loops fill every write).
    constexpr size_t kBlock = 64;
    uint8_t block[kBlock];
    for (size_t k = 0; k < kBlock; ++k) block[k] = static_cast<uint8_t>(value >> (8 * (3 - k % 4)));
    uint8_t* out = buffer.data();
    const size_t n = buffer.size();
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) std::memcpy(out + i, block, kBlock);
    if (i < n) std::memcpy(out + i, block, n - i);
}

void put_be64(uint8_t* at, uint64_t value) {
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    std::memcpy(at, &value, sizeof value);
}

uint64_t get_be64(const uint8_t* at) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | at[i];
    return v;
}

void sector_stamp(std::span<uint8_t> buffer, uint64_t start_offset, uint32_t sector_size, uint64_t second,
                  uint64_t third) {
    if (sector_size < 24) return;
    uint64_t first_lba = start_offset / sector_size;
    size_t sectors = buffer.size() / sector_size;
    for (size_t s = 0; s < sectors; ++s) {
        uint8_t* at = buffer.data() + s * sector_size;
        put_be64(at, first_lba + s);
        if (second) put_be64(at + 8, second);
        if (third) put_be64(at + 16, third);
    }
}

void fill_ratio_table(std::span<uint8_t> table, uint32_t ones, uint32_t seed) {
    size_t size = table.size();
    if (ones >= size) {
        std::fill(table.begin(), table.end(), uint8_t{1});
        return;
    }
    std::fill(table.begin(), table.end(), uint8_t{0});
    std::vector<uint32_t> positions(size);
    std::iota(positions.begin(), positions.end(), 0u);
    WorkloadRandom gen(seed);
    size_t left = size;
    for (uint32_t k = 0; k < ones; ++k) {
        uint32_t pick = gen.below(static_cast<uint32_t>(left));
        table[positions[pick]] = 1;
        positions[pick] = positions[--left];
    }
}

}  // namespace tb
