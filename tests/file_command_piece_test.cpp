// The data of the file commands: the 1 MiB pieces File_Write puts in a file
// (the pattern, and every 512-byte block headed by its own file offset,
// least significant byte first) and their check by File_CompareWithPattern,
// the pattern argument and the wildcard names of File_Delete and File_Copy.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "files/file_list.h"
#include "files/file_pattern_arg.h"
#include "files/file_piece.h"
#include "workload/pattern.h"

namespace tb {
namespace {

TEST(FileCommandPiece, TheFirstBlockOfAFileHoldsOffsetZeroThenThePattern) {
    std::vector<uint8_t> piece(kFilePieceBytes);
    fill_file_piece(piece, 0, 0x55AA33CC);
    const std::vector<uint8_t> head(piece.begin(), piece.begin() + 16);
    EXPECT_EQ(head, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0x55, 0xAA, 0x33, 0xCC, 0x55, 0xAA, 0x33, 0xCC}));
    EXPECT_EQ(piece[511], 0xCC);
}

TEST(FileCommandPiece, EveryBlockStartsWithItsFileOffsetLeastSignificantByteFirst) {
    std::vector<uint8_t> piece(kFilePieceBytes);
    const uint64_t start = uint64_t{5} << 32 | 0x00300000;  // a piece past 4 GiB: all eight bytes count
    fill_file_piece(piece, start, 0x12345678);
    for (size_t block = 0; block < piece.size(); block += 512) {
        const uint64_t offset = start + block;
        for (int i = 0; i < 8; ++i)
            ASSERT_EQ(piece[block + i], static_cast<uint8_t>(offset >> (8 * i))) << "block " << block << " byte " << i;
        for (size_t i = 8; i < 512; ++i)
            ASSERT_EQ(piece[block + i], static_cast<uint8_t>(0x12345678u >> (8 * (3 - i % 4)))) << block + i;
    }
    // 0x5_0030_0200 for the second block.
    EXPECT_EQ(std::vector<uint8_t>(piece.begin() + 512, piece.begin() + 520),
              (std::vector<uint8_t>{0x00, 0x02, 0x30, 0x00, 0x05, 0x00, 0x00, 0x00}));
}

TEST(FileCommandPiece, WithoutMarksItIsThePatternAlone) {
    std::vector<uint8_t> piece(1024);
    fill_file_piece(piece, 512, 0xA1B2C3D4, false);
    for (size_t i = 0; i < piece.size(); ++i) ASSERT_EQ(piece[i], static_cast<uint8_t>(0xA1B2C3D4u >> (8 * (3 - i % 4))));
}

TEST(FileCommandPiece, APieceFromAnyOffsetIsTheSameBytesAsTheWholeFileThere) {
    std::vector<uint8_t> whole(4096);
    fill_file_piece(whole, 0, 0x55AA33CC);
    for (uint64_t from : {1u, 3u, 5u, 509u, 515u, 1021u, 2000u}) {
        std::vector<uint8_t> part(4096 - from);
        fill_file_piece(part, from, 0x55AA33CC);
        ASSERT_EQ(part, std::vector<uint8_t>(whole.begin() + static_cast<std::ptrdiff_t>(from), whole.end())) << from;
    }
}

TEST(FileCommandPiece, TheCheckFindsTheFirstWrongByteOrAgrees) {
    std::vector<uint8_t> data(3 * 512 + 100);
    fill_file_piece(data, 4096, 0x55AA33CC);
    EXPECT_EQ(first_piece_difference(data, 4096, 0x55AA33CC, true), data.size());
    // Read from another offset the marks are wrong, unless they are not checked.
    EXPECT_EQ(first_piece_difference(data, 8192, 0x55AA33CC, true), 1u);
    data[700] ^= 1;
    EXPECT_EQ(first_piece_difference(data, 4096, 0x55AA33CC, true), 700u);
    std::vector<uint8_t> plain(2048);
    fill_file_piece(plain, 0, 0x55AA33CC, false);
    EXPECT_EQ(first_piece_difference(plain, 0, 0x55AA33CC, false), plain.size());
    EXPECT_EQ(first_piece_difference(plain, 0, 0x55AA33CC, true), 0u);
}

TEST(FileCommandPiece, TheCheckSpansMoreThanOneMebibyte) {
    std::vector<uint8_t> data(kFilePieceBytes * 2 + 512);
    fill_file_piece(data, 0, 0x01020304);
    EXPECT_EQ(first_piece_difference(data, 0, 0x01020304, true), data.size());
    data[kFilePieceBytes + 512] ^= 0x80;  // the mark of the block at 1 MiB + 512
    EXPECT_EQ(first_piece_difference(data, 0, 0x01020304, true), kFilePieceBytes + 512);
}

TEST(FileCommandPattern, NumbersAndAutoAreTakenOtherTextIsNot) {
    EXPECT_EQ(parse_file_pattern("0x55AA33CC"), 0x55AA33CCu);
    EXPECT_EQ(parse_file_pattern("0XFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parse_file_pattern("1234"), 1234u);
    EXPECT_EQ(parse_file_pattern(" auto "), kPatternAuto);
    EXPECT_FALSE(parse_file_pattern("0x1FFFFFFFF"));
    EXPECT_FALSE(parse_file_pattern("0x"));
    EXPECT_FALSE(parse_file_pattern("12ab"));
    EXPECT_FALSE(parse_file_pattern(""));
}

TEST(FileCommandWildcards, StarsAndQuestionMarksMatchWithoutRegardToCase) {
    EXPECT_TRUE(wildcard_match("*.*", "a.hex"));
    EXPECT_TRUE(wildcard_match("*.HEX", "File0.hex"));
    EXPECT_TRUE(wildcard_match("File?.hex", "file7.HEX"));
    EXPECT_TRUE(wildcard_match("*a*b*", "xxaYYbzz"));
    EXPECT_TRUE(wildcard_match("*", ""));
    EXPECT_FALSE(wildcard_match("File?.hex", "File10.hex"));
    EXPECT_FALSE(wildcard_match("*.bin", "a.hex"));
    EXPECT_FALSE(wildcard_match("a*c", "abcd"));
    EXPECT_TRUE(has_wildcards("a*.hex"));
    EXPECT_FALSE(has_wildcards("a.hex"));
}

}  // namespace
}  // namespace tb
