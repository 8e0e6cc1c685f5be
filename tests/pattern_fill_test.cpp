// The fills the write/verify loops put in every write: the pattern at every
// length (whole blocks and any tail), the big-endian stamp fields, and the
// pooled cryptographic draws of random units.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "workload/crypto_random_pool.h"
#include "workload/pattern.h"

namespace tb {
namespace {

uint8_t pattern_byte(uint32_t value, size_t i) { return static_cast<uint8_t>(value >> (8 * (3 - i % 4))); }

TEST(PatternFill, EveryByteHoldsTheValueAtAnyLengthAndOffset) {
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 200; ++n) lengths.push_back(n);
    for (size_t n : {511u, 512u, 4096u, 131072u, 131075u}) lengths.push_back(n);
    for (size_t n : lengths) {
        // An odd start as well, so the fill does not lean on alignment.
        std::vector<uint8_t> b(n + 2, 0xEE);
        std::span<uint8_t> inner(b.data() + 1, n);
        pattern_fill_value(inner, 0x55AA33CC);
        ASSERT_EQ(b.front(), 0xEE) << n;
        ASSERT_EQ(b.back(), 0xEE) << n << ": nothing beyond the buffer";
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(inner[i], pattern_byte(0x55AA33CC, i)) << "length " << n << " byte " << i;
    }
}

TEST(PatternFill, StampFieldsAreBigEndianAndReadBack) {
    uint8_t b[8] = {};
    put_be64(b, 0x0102030405060708ull);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(get_be64(b), 0x0102030405060708ull);
}

TEST(PatternFill, PooledRandomDrawsStayDistinctAcrossRefills) {
    CryptoRandomPool pool;
    std::set<uint64_t> seen;
    for (int i = 0; i < 3000; ++i) seen.insert(pool.next64());
    EXPECT_EQ(seen.size(), 3000u) << "a draw repeated: the pool handed out a word twice or did not refill";
}

}  // namespace
}  // namespace tb
