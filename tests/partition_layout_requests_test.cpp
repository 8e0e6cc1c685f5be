// The Windows disk-layout requests as bytes: CREATE_DISK for GPT and MBR,
// SET_DRIVE_LAYOUT_EX with its one partition (and the MBR's four entries),
// and reading a GET_DRIVE_LAYOUT_EX reply back.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/partition_layout_requests.h"
#include "platform/partition_types.h"

namespace tb {
namespace {

Guid sequence_guid(uint8_t first) {
    Guid g;
    for (size_t i = 0; i < g.size(); ++i) g[i] = static_cast<uint8_t>(first + i);
    return g;
}

void put(std::vector<uint8_t>& b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(PartitionLayoutRequests, ControlCodesAreThoseOfTheDiskDriver) {
    // CTL_CODE(7, function, METHOD_BUFFERED, access): (7 << 16) | (access << 14) | (function << 2).
    EXPECT_EQ(kIoctlDiskGetDriveLayoutEx, (7u << 16) | (0x14u << 2));
    EXPECT_EQ(kIoctlDiskSetDriveLayoutEx, (7u << 16) | (3u << 14) | (0x15u << 2));
    EXPECT_EQ(kIoctlDiskCreateDisk, (7u << 16) | (3u << 14) | (0x16u << 2));
    EXPECT_EQ(kIoctlDiskDeleteDriveLayout, (7u << 16) | (3u << 14) | (0x40u << 2));
    EXPECT_EQ(kIoctlDiskUpdateProperties, (7u << 16) | (0x50u << 2));
}

TEST(PartitionLayoutRequests, CreateDiskBytes) {
    const std::vector<uint8_t> gpt = create_disk_request(PartitionScheme::Gpt, sequence_guid(0x10));
    const std::vector<uint8_t> expected_gpt = {
        0x01, 0x00, 0x00, 0x00,                                                  // GPT
        0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B,  // disk GUID
        0x1C, 0x1D, 0x1E, 0x1F,                                                  //
        0x80, 0x00, 0x00, 0x00,                                                  // 128 partitions
    };
    EXPECT_EQ(gpt, expected_gpt);
    const std::vector<uint8_t> mbr = create_disk_request(PartitionScheme::Mbr, sequence_guid(0xA0));
    const std::vector<uint8_t> expected_mbr = {
        0x00, 0x00, 0x00, 0x00, 0xA0, 0xA1, 0xA2, 0xA3, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    EXPECT_EQ(mbr, expected_mbr);
}

TEST(PartitionLayoutRequests, GptLayoutWithOnePartition) {
    LayoutPartition p;
    p.offset_bytes = 1ull << 20;
    p.length_bytes = 0x12300000;
    p.type_code = std::string(kGptBasicData);
    p.partition_id = sequence_guid(0x40);
    const std::vector<uint8_t> b = set_layout_request(PartitionScheme::Gpt, sequence_guid(0x10), p);
    std::vector<uint8_t> expected(48 + 144, 0);
    put(expected, 0, 1, 4);   // GPT
    put(expected, 4, 1, 4);   // one entry
    for (int i = 0; i < 16; ++i) expected[8 + static_cast<size_t>(i)] = static_cast<uint8_t>(0x10 + i);
    put(expected, 40, 128, 4);
    const size_t e = 48;
    put(expected, e + 0, 1, 4);
    put(expected, e + 8, 0x100000, 8);
    put(expected, e + 16, 0x12300000, 8);
    put(expected, e + 24, 1, 4);
    expected[e + 28] = 1;  // rewrite
    const uint8_t basic[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                               0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
    std::memcpy(&expected[e + 32], basic, 16);
    for (int i = 0; i < 16; ++i) expected[e + 48 + static_cast<size_t>(i)] = static_cast<uint8_t>(0x40 + i);
    const char name[] = "Basic data partition";
    for (size_t i = 0; i + 1 < sizeof name; ++i) expected[e + 72 + 2 * i] = static_cast<uint8_t>(name[i]);
    EXPECT_EQ(b, expected);
}

TEST(PartitionLayoutRequests, MbrLayoutCarriesFourEntries) {
    LayoutPartition p;
    p.offset_bytes = 1ull << 20;
    p.length_bytes = 64ull << 20;
    p.type_code = "07";
    const std::vector<uint8_t> b = set_layout_request(PartitionScheme::Mbr, sequence_guid(0xA0), p);
    ASSERT_EQ(b.size(), 48u + 4 * 144);
    std::vector<uint8_t> expected(48 + 4 * 144, 0);
    put(expected, 4, 4, 4);
    put(expected, 8, 0xA3A2A1A0, 4);  // signature
    for (size_t i = 0; i < 4; ++i) expected[48 + i * 144 + 28] = 1;
    const size_t e = 48;
    put(expected, e + 8, 0x100000, 8);
    put(expected, e + 16, 64ull << 20, 8);
    put(expected, e + 24, 1, 4);
    expected[e + 32] = 0x07;  // type
    expected[e + 34] = 1;     // recognised
    put(expected, e + 36, 2048, 4);  // hidden sectors
    EXPECT_EQ(b, expected);

    p.type_code = "zz";
    EXPECT_TRUE(set_layout_request(PartitionScheme::Mbr, sequence_guid(0), p).empty());
    p.type_code = "not a guid";
    EXPECT_TRUE(set_layout_request(PartitionScheme::Gpt, sequence_guid(0), p).empty());
}

TEST(PartitionLayoutRequests, RepliesReadBackIntoTheLayout) {
    LayoutPartition p;
    p.offset_bytes = 1ull << 20;
    p.length_bytes = 32ull << 20;
    p.type_code = std::string(kGptLinuxData);
    std::vector<uint8_t> gpt = set_layout_request(PartitionScheme::Gpt, sequence_guid(1), p);
    put(gpt, 24, 17408, 8);
    put(gpt, 32, 1000ull << 20, 8);
    LayoutReply reply;
    std::string error;
    ASSERT_TRUE(parse_layout_reply(gpt, 512, reply, error)) << error;
    EXPECT_EQ(reply.layout.scheme, PartitionScheme::Gpt);
    EXPECT_EQ(reply.first_usable_byte, 17408u);
    EXPECT_EQ(reply.usable_bytes, 1000ull << 20);
    ASSERT_EQ(reply.layout.partitions.size(), 1u);
    EXPECT_EQ(reply.layout.partitions[0].number, 1u);
    EXPECT_EQ(reply.layout.partitions[0].start_sector, 2048u);
    EXPECT_EQ(reply.layout.partitions[0].sector_count, 65536u);
    EXPECT_EQ(reply.layout.partitions[0].type_name, "Linux filesystem");

    p.type_code = "0C";
    const std::vector<uint8_t> mbr = set_layout_request(PartitionScheme::Mbr, sequence_guid(1), p);
    ASSERT_TRUE(parse_layout_reply(mbr, 4096, reply, error)) << error;
    EXPECT_EQ(reply.layout.scheme, PartitionScheme::Mbr);
    ASSERT_EQ(reply.layout.partitions.size(), 1u);  // the three unused entries are left out
    EXPECT_EQ(reply.layout.partitions[0].start_sector, 256u);
    EXPECT_EQ(reply.layout.partitions[0].type_code, "0C");

    std::vector<uint8_t> raw(48, 0);
    put(raw, 0, 2, 4);
    ASSERT_TRUE(parse_layout_reply(raw, 512, reply, error));
    EXPECT_EQ(reply.layout.scheme, PartitionScheme::None);

    std::vector<uint8_t> short_reply = gpt;
    put(short_reply, 4, 3, 4);  // counts three entries, holds one
    EXPECT_FALSE(parse_layout_reply(short_reply, 512, reply, error));
    EXPECT_FALSE(parse_layout_reply(std::vector<uint8_t>(20, 0), 512, reply, error));
}

}  // namespace
}  // namespace tb
