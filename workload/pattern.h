// The data helpers every workload shares: the workload random generator, the
// pattern fill of a buffer and the sector stamp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tb {

// x = x * 0x081E4F25 + 0xA2C6302D (mod 2^32); a draw below n is x mod n.
struct WorkloadRandom {
    uint32_t x = 0;
    WorkloadRandom() = default;
    explicit WorkloadRandom(uint32_t seed) : x(seed) {}
    uint32_t next() {
        x = x * 0x081E4F25u + 0xA2C6302Du;
        return x;
    }
    uint32_t below(uint32_t n) { return n ? next() % n : 0; }
    uint64_t below64(uint64_t n) { return n ? next() % n : 0; }
};

// Four bytes of the system's cryptographic random source.
uint32_t crypto_random32();
uint64_t crypto_random64();
// `n` bytes of it.
void crypto_random_fill(void* out, size_t n);

// A draw from the process-wide generator (modulus 0xFFFFFFFF), seeded once
// from the cryptographic source. Thread-safe.
uint32_t process_random32();

// The pattern value whose bytes read "AUTO" in memory: a random pattern.
constexpr uint32_t kPatternAuto = 0x4F545541;

// Clears the buffer; a pattern of 0 leaves zeros and returns 0. "AUTO" draws
// a value from the process-wide generator. The value's four bytes are then
// repeated most significant first (a tail shorter than four bytes takes the
// leading ones). Returns the value used.
uint32_t pattern_fill(std::span<uint8_t> buffer, uint32_t pattern);
// The same with a value taken as it is ("AUTO" is not special here).
void pattern_fill_value(std::span<uint8_t> buffer, uint32_t value);

// Writes 64-bit values most significant byte first.
void put_be64(uint8_t* at, uint64_t value);
uint64_t get_be64(const uint8_t* at);

// For every whole sector of the buffer: its LBA (start_offset / sector_size
// + index) in bytes 0..7; `second` in 8..15 and `third` in 16..23 when they
// are non-zero.
void sector_stamp(std::span<uint8_t> buffer, uint64_t start_offset, uint32_t sector_size, uint64_t second = 0,
                  uint64_t third = 0);

// Draws `ones` positions out of `size` without replacement: table[i] is 1 at
// the drawn positions and 0 elsewhere (all ones when ones >= size).
void fill_ratio_table(std::span<uint8_t> table, uint32_t ones, uint32_t seed);

}  // namespace tb
