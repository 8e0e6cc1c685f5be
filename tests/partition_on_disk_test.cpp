// The partition tables as the simulated machine writes them into a disk
// image: GUID text and byte order, the protective MBR, both GPT copies with
// their checksums, the MBR entry, reading tables back (and refusing
// damaged ones), and the file-system signatures the probe names.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/partition_file_system.h"
#include "platform/partition_on_disk.h"
#include "platform/partition_types.h"

namespace tb {
namespace {

// A disk held in memory: the sectors written, zeros elsewhere.
class MemoryDisk {
public:
    MemoryDisk(uint32_t sector_size, uint64_t sectors) : ss_(sector_size), sectors_(sectors) {}
    void write(const std::vector<SectorRun>& runs) {
        for (const SectorRun& r : runs)
            for (size_t i = 0; i < r.bytes.size() / ss_; ++i)
                data_[r.lba + i].assign(r.bytes.begin() + static_cast<std::ptrdiff_t>(i * ss_),
                                        r.bytes.begin() + static_cast<std::ptrdiff_t>((i + 1) * ss_));
    }
    std::vector<uint8_t>& sector(uint64_t lba) {
        auto& s = data_[lba];
        s.resize(ss_, 0);
        return s;
    }
    SectorReader reader() {
        return [this](uint64_t lba, uint32_t count, std::vector<uint8_t>& out) {
            if (lba + count > sectors_) return false;
            out.clear();
            for (uint32_t i = 0; i < count; ++i) {
                const std::vector<uint8_t>& s = sector(lba + i);
                out.insert(out.end(), s.begin(), s.end());
            }
            return true;
        };
    }

private:
    uint32_t ss_;
    uint64_t sectors_;
    std::map<uint64_t, std::vector<uint8_t>> data_;
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;  // the test machines are little-endian
}
uint64_t le64(const std::vector<uint8_t>& b, size_t at) {
    uint64_t v;
    std::memcpy(&v, &b[at], 8);
    return v;
}
uint32_t crc_of(const uint8_t* p, size_t n) { return static_cast<uint32_t>(::crc32(0L, p, static_cast<uInt>(n))); }

Guid guid_of(uint8_t fill) {
    Guid g;
    g.fill(fill);
    return g;
}

TablePlan plan(PartitionScheme scheme, uint64_t sectors, uint64_t size_bytes = 0, uint32_t ss = 512) {
    TablePlan p;
    p.scheme = scheme;
    p.sector_size = ss;
    p.disk_sectors = sectors;
    p.size_bytes = size_bytes;
    p.type_code = partition_type_for("NTFS", scheme);
    p.disk_id = guid_of(0x11);
    p.partition_id = guid_of(0x22);
    return p;
}

TEST(PartitionGuid, TextAndOnDiskBytesFollowTheMixedEndianForm) {
    Guid g{};
    ASSERT_TRUE(parse_guid("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", g));
    const Guid expected{0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                        0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
    EXPECT_EQ(g, expected);
    EXPECT_EQ(guid_text(g), "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    EXPECT_TRUE(parse_guid("0fc63daf-8483-4772-8e79-3d69d8477de4", g));
    EXPECT_EQ(guid_text(g), "0FC63DAF-8483-4772-8E79-3D69D8477DE4");
    EXPECT_FALSE(parse_guid("EBD0A0A2B9E5-4433-87C0-68B6B72699C7-", g));
    EXPECT_FALSE(parse_guid("EBD0A0A2-B9E5-4433-87C0-68B6B72699CX", g));
    EXPECT_FALSE(parse_guid("", g));
}

TEST(PartitionOnDisk, GptHasAProtectiveMbrAndTwoCopiesWithValidChecksums) {
    const uint64_t sectors = 131072;  // 64 MiB
    std::vector<SectorRun> runs;
    PartitionEntry made;
    std::string error;
    ASSERT_TRUE(build_table(plan(PartitionScheme::Gpt, sectors), runs, made, error)) << error;
    MemoryDisk disk(512, sectors);
    disk.write(runs);

    const std::vector<uint8_t>& mbr = disk.sector(0);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
    EXPECT_EQ(mbr[446 + 4], 0xEE);
    EXPECT_EQ(le32(mbr, 446 + 8), 1u);
    EXPECT_EQ(le32(mbr, 446 + 12), sectors - 1);
    EXPECT_EQ(mbr[446 + 16 + 4], 0);  // the other entries are empty

    for (uint64_t lba : {uint64_t(1), sectors - 1}) {
        std::vector<uint8_t> h = disk.sector(lba);
        ASSERT_EQ(std::memcmp(h.data(), "EFI PART", 8), 0) << lba;
        EXPECT_EQ(le32(h, 12), 92u);
        EXPECT_EQ(le64(h, 24), lba);
        EXPECT_EQ(le64(h, 32), lba == 1 ? sectors - 1 : 1);
        EXPECT_EQ(le64(h, 40), 34u);
        EXPECT_EQ(le64(h, 48), sectors - 34);
        EXPECT_EQ(le64(h, 72), lba == 1 ? 2u : sectors - 33);
        EXPECT_EQ(le32(h, 80), 128u);
        EXPECT_EQ(le32(h, 84), 128u);
        const uint32_t stored = le32(h, 16);
        std::memset(&h[16], 0, 4);
        EXPECT_EQ(crc_of(h.data(), 92), stored) << lba;
        std::vector<uint8_t> entries;
        ASSERT_TRUE(disk.reader()(le64(disk.sector(lba), 72), 32, entries));
        EXPECT_EQ(crc_of(entries.data(), 128 * 128), le32(h, 88)) << lba;
        EXPECT_EQ(le64(entries, 32), 2048u);
    }
    EXPECT_EQ(made.start_sector, 2048u);
    EXPECT_EQ(made.sector_count % 2048, 0u);  // whole MiB
    EXPECT_LE(made.start_sector + made.sector_count, sectors - 33);

    PartitionLayout layout;
    ASSERT_TRUE(read_table(512, sectors, disk.reader(), layout, error)) << error;
    EXPECT_EQ(layout.scheme, PartitionScheme::Gpt);
    ASSERT_EQ(layout.partitions.size(), 1u);
    EXPECT_EQ(layout.partitions[0].number, 1u);
    EXPECT_EQ(layout.partitions[0].start_sector, made.start_sector);
    EXPECT_EQ(layout.partitions[0].sector_count, made.sector_count);
    EXPECT_EQ(layout.partitions[0].type_code, "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
    EXPECT_EQ(layout.partitions[0].type_name, "Microsoft basic data");
}

TEST(PartitionOnDisk, MbrEntryHoldsTypeStartAndSize) {
    const uint64_t sectors = 204800;  // 100 MiB
    std::vector<SectorRun> runs;
    PartitionEntry made;
    std::string error;
    TablePlan p = plan(PartitionScheme::Mbr, sectors, 32ull << 20);
    p.type_code = partition_type_for("EXT4", PartitionScheme::Mbr);
    ASSERT_TRUE(build_table(p, runs, made, error)) << error;
    ASSERT_EQ(runs.size(), 1u);
    const std::vector<uint8_t>& mbr = runs[0].bytes;
    EXPECT_EQ(le32(mbr, 440), 0x11111111u);  // disk signature
    EXPECT_EQ(mbr[446], 0x00);
    EXPECT_EQ(mbr[446 + 4], 0x83);
    EXPECT_EQ(le32(mbr, 446 + 8), 2048u);
    EXPECT_EQ(le32(mbr, 446 + 12), 65536u);
    EXPECT_EQ(mbr[446 + 1], 0x20);  // CHS of LBA 2048: head 32, sector 33, cylinder 0
    EXPECT_EQ(mbr[446 + 2], 0x21);
    EXPECT_EQ(mbr[446 + 3], 0x00);

    MemoryDisk disk(512, sectors);
    disk.write(runs);
    PartitionLayout layout;
    ASSERT_TRUE(read_table(512, sectors, disk.reader(), layout, error)) << error;
    EXPECT_EQ(layout.scheme, PartitionScheme::Mbr);
    ASSERT_EQ(layout.partitions.size(), 1u);
    EXPECT_EQ(layout.partitions[0].type_code, "83");
    EXPECT_EQ(layout.partitions[0].type_name, "Linux");
    EXPECT_EQ(layout.partitions[0].sector_count, 65536u);
}

TEST(PartitionOnDisk, FourKSectorsAlignToOneMiB) {
    const uint64_t sectors = 16384;  // 64 MiB of 4096-byte sectors
    std::vector<SectorRun> runs;
    PartitionEntry made;
    std::string error;
    ASSERT_TRUE(build_table(plan(PartitionScheme::Gpt, sectors, 0, 4096), runs, made, error)) << error;
    EXPECT_EQ(made.start_sector, 256u);
    MemoryDisk disk(4096, sectors);
    disk.write(runs);
    PartitionLayout layout;
    ASSERT_TRUE(read_table(4096, sectors, disk.reader(), layout, error)) << error;
    ASSERT_EQ(layout.partitions.size(), 1u);
    EXPECT_EQ(layout.partitions[0].start_sector, 256u);
    EXPECT_LE(256 + layout.partitions[0].sector_count, sectors - 5);  // backup array (4) and header
}

TEST(PartitionOnDisk, RequestsThatDoNotFitAreRefused) {
    std::vector<SectorRun> runs;
    PartitionEntry made;
    std::string error;
    EXPECT_FALSE(build_table(plan(PartitionScheme::Gpt, 2048), runs, made, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(build_table(plan(PartitionScheme::Gpt, 131072, 64ull << 20), runs, made, error));
    EXPECT_FALSE(build_table(plan(PartitionScheme::Mbr, 131072, 64ull << 20), runs, made, error));
    // An MBR addresses 2^32 sectors: 3 TiB does not fit.
    EXPECT_FALSE(build_table(plan(PartitionScheme::Mbr, 8ull << 30, 3ull << 40), runs, made, error));
    EXPECT_TRUE(build_table(plan(PartitionScheme::Gpt, 8ull << 30, 3ull << 40), runs, made, error)) << error;
    TablePlan bad = plan(PartitionScheme::Gpt, 131072);
    bad.type_code = "not a guid";
    EXPECT_FALSE(build_table(bad, runs, made, error));
}

TEST(PartitionOnDisk, DamagedOrMissingTablesReadAsSuch) {
    const uint64_t sectors = 131072;
    std::string error;
    PartitionLayout layout;
    MemoryDisk blank(512, sectors);
    ASSERT_TRUE(read_table(512, sectors, blank.reader(), layout, error));
    EXPECT_EQ(layout.scheme, PartitionScheme::None);
    EXPECT_TRUE(layout.partitions.empty());

    std::vector<SectorRun> runs;
    PartitionEntry made;
    ASSERT_TRUE(build_table(plan(PartitionScheme::Gpt, sectors), runs, made, error));
    MemoryDisk header(512, sectors);
    header.write(runs);
    header.sector(1)[40] ^= 1;  // first usable LBA changed: header checksum wrong
    EXPECT_FALSE(read_table(512, sectors, header.reader(), layout, error));
    EXPECT_NE(error.find("checksum"), std::string::npos) << error;

    MemoryDisk entries(512, sectors);
    entries.write(runs);
    entries.sector(2)[32] ^= 1;  // entry array changed
    EXPECT_FALSE(read_table(512, sectors, entries.reader(), layout, error));

    // An entry that runs past the disk, with both checksums made right.
    MemoryDisk outside(512, sectors);
    outside.write(runs);
    std::vector<uint8_t>& e = outside.sector(2);
    const uint64_t past = sectors + 5;
    std::memcpy(&e[40], &past, 8);
    std::vector<uint8_t> array;
    ASSERT_TRUE(outside.reader()(2, 32, array));
    std::vector<uint8_t>& h = outside.sector(1);
    const uint32_t array_crc = crc_of(array.data(), 128 * 128);
    std::memcpy(&h[88], &array_crc, 4);
    std::memset(&h[16], 0, 4);
    const uint32_t header_crc = crc_of(h.data(), 92);
    std::memcpy(&h[16], &header_crc, 4);
    EXPECT_FALSE(read_table(512, sectors, outside.reader(), layout, error));
    EXPECT_NE(error.find("outside"), std::string::npos) << error;
}

TEST(PartitionOnDisk, DeletingClearsBothEndsOfTheDisk) {
    const auto ranges = table_sectors(512, 131072);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0], std::make_pair(uint64_t(0), uint64_t(34)));
    EXPECT_EQ(ranges[1], std::make_pair(uint64_t(131072 - 33), uint64_t(33)));
}

TEST(PartitionFileSystem, SignaturesNameTheFileSystem) {
    std::vector<uint8_t> b(kFileSystemProbeBytes, 0);
    EXPECT_EQ(probe_file_system(b), "");
    std::memcpy(&b[3], "NTFS    ", 8);
    EXPECT_EQ(probe_file_system(b), "NTFS");
    std::fill(b.begin(), b.end(), 0);
    std::memcpy(&b[3], "EXFAT   ", 8);
    EXPECT_EQ(probe_file_system(b), "EXFAT");
    std::fill(b.begin(), b.end(), 0);
    std::memcpy(&b[82], "FAT32   ", 8);
    EXPECT_EQ(probe_file_system(b), "");  // no boot-sector mark
    b[510] = 0x55;
    b[511] = 0xAA;
    EXPECT_EQ(probe_file_system(b), "FAT32");
    std::fill(b.begin(), b.end(), 0);
    b[1024 + 56] = 0x53;
    b[1024 + 57] = 0xEF;
    EXPECT_EQ(probe_file_system(b), "EXT2");
    b[1024 + 92] = 0x04;  // has a journal
    EXPECT_EQ(probe_file_system(b), "EXT3");
    b[1024 + 96] = 0x40;  // extents
    EXPECT_EQ(probe_file_system(b), "EXT4");
    EXPECT_EQ(probe_file_system(std::span<const uint8_t>(b.data(), 1100)), "");  // superblock cut off
}

}  // namespace
}  // namespace tb
