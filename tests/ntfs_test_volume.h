// A small NTFS volume built byte by byte for the walker's tests: a boot
// sector (512-byte sectors, 4096-byte clusters, 1024-byte records), an $MFT
// of 16 records in two runs, a root directory, a folder with an INDX
// record, files with resident and non-resident data (one run list going
// backwards), and two records whose parents name each other.
//
//   record  0 $MFT        data: clusters 4-5 (records 0-7) and 20-21 (records 8-15)
//   record  5 .           index root: hello.txt (10), docs (11)
//   record 10 hello.txt   data: clusters 100-102, then 50-51 (a negative delta)
//   record 11 docs        index allocation: cluster 200 (INDX: inner.bin 12, small.txt 13)
//   record 12 inner.bin   data: clusters 300-303
//   record 13 small.txt   resident data "hi there"
//   record 14 loop1       parent 15, data: cluster 400
//   record 15 loop2       parent 14
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tb::test::ntfs_volume {

constexpr uint32_t kSector = 512;
constexpr uint32_t kCluster = 4096;
constexpr uint32_t kRecord = 1024;
constexpr uint64_t kClusters = 1024;  // a 4 MiB volume
constexpr uint64_t kMftCluster = 4;
constexpr uint64_t kMftSecondRun = 20;

inline void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline std::vector<uint8_t> utf16(const std::string& ascii) {
    std::vector<uint8_t> out;
    for (char c : ascii) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

// A run list of (clusters, first cluster) pairs, each start as a signed
// delta from the previous one.
inline std::vector<uint8_t> run_list(const std::vector<std::pair<uint64_t, int64_t>>& runs) {
    std::vector<uint8_t> out;
    int64_t previous = 0;
    for (const auto& [clusters, lcn] : runs) {
        const int64_t delta = lcn - previous;
        previous = lcn;
        std::vector<uint8_t> length, offset;
        for (uint64_t v = clusters; v || length.empty(); v >>= 8) length.push_back(static_cast<uint8_t>(v));
        int64_t d = delta;
        do {
            offset.push_back(static_cast<uint8_t>(d));
            d >>= 8;
        } while (!((d == 0 && !(offset.back() & 0x80)) || (d == -1 && (offset.back() & 0x80))));
        out.push_back(static_cast<uint8_t>(length.size() | (offset.size() << 4)));
        out.insert(out.end(), length.begin(), length.end());
        out.insert(out.end(), offset.begin(), offset.end());
    }
    out.push_back(0);
    return out;
}

inline std::vector<uint8_t> file_name_value(uint64_t parent, const std::string& name, uint8_t name_space = 1) {
    std::vector<uint8_t> v(66, 0);
    put64(v, 0, parent | (1ull << 48));
    v[64] = static_cast<uint8_t>(name.size());
    v[65] = name_space;
    auto n = utf16(name);
    v.insert(v.end(), n.begin(), n.end());
    while (v.size() % 8) v.push_back(0);
    return v;
}

// Index entries (record, name) followed by the last entry.
inline std::vector<uint8_t> index_entries(const std::vector<std::pair<uint64_t, std::string>>& entries,
                                          uint64_t parent) {
    std::vector<uint8_t> out;
    for (const auto& [record, name] : entries) {
        std::vector<uint8_t> key = file_name_value(parent, name);
        std::vector<uint8_t> e(16, 0);
        put64(e, 0, record | (1ull << 48));
        put16(e, 8, static_cast<uint16_t>(16 + key.size()));
        put16(e, 10, static_cast<uint16_t>(key.size()));
        e.insert(e.end(), key.begin(), key.end());
        out.insert(out.end(), e.begin(), e.end());
    }
    std::vector<uint8_t> last(16, 0);
    put16(last, 8, 16);
    put16(last, 12, 2);
    out.insert(out.end(), last.begin(), last.end());
    return out;
}

// A node header (entries right after it) and the entries.
inline std::vector<uint8_t> index_node(const std::vector<uint8_t>& entries, uint32_t allocated) {
    std::vector<uint8_t> n(16, 0);
    put32(n, 0, 16);
    put32(n, 4, static_cast<uint32_t>(16 + entries.size()));
    put32(n, 8, allocated);
    n.insert(n.end(), entries.begin(), entries.end());
    return n;
}

inline std::vector<uint8_t> index_root_value(const std::vector<uint8_t>& entries) {
    std::vector<uint8_t> v(16, 0);
    put32(v, 0, 0x30);
    put32(v, 4, 1);
    put32(v, 8, 4096);
    v[12] = 1;
    auto node = index_node(entries, static_cast<uint32_t>(16 + entries.size()));
    v.insert(v.end(), node.begin(), node.end());
    return v;
}

// Puts the update sequence on a multi-sector record: the sequence number at
// the end of each sector, the words it replaced in the array at `usa`.
inline void protect(std::vector<uint8_t>& rec, size_t usa, uint16_t number = 0x0007) {
    const size_t sectors = rec.size() / kSector;
    put16(rec, 4, static_cast<uint16_t>(usa));
    put16(rec, 6, static_cast<uint16_t>(sectors + 1));
    put16(rec, usa, number);
    for (size_t s = 0; s < sectors; ++s) {
        const size_t tail = (s + 1) * kSector - 2;
        rec[usa + 2 * (s + 1)] = rec[tail];
        rec[usa + 2 * (s + 1) + 1] = rec[tail + 1];
        put16(rec, tail, number);
    }
}

inline std::vector<uint8_t> index_record(uint64_t vcn, const std::vector<uint8_t>& entries) {
    std::vector<uint8_t> r(kCluster, 0);
    std::memcpy(r.data(), "INDX", 4);
    put64(r, 16, vcn);
    // The node header at 24, its entries after the update-sequence array.
    const uint32_t first = 0x40 - 24;  // entries at byte 0x40, after the array at 0x28
    put32(r, 24, first);
    put32(r, 28, static_cast<uint32_t>(first + entries.size()));
    put32(r, 32, kCluster - 24);
    std::memcpy(r.data() + 24 + first, entries.data(), entries.size());
    protect(r, 0x28);
    return r;
}

class RecordBuilder {
public:
    RecordBuilder() : rec_(kRecord, 0) { std::memcpy(rec_.data(), "FILE", 4); }

    RecordBuilder& resident(uint32_t type, const std::vector<uint8_t>& value, const std::string& name = {}) {
        std::vector<uint8_t> a(24, 0);
        const auto n = utf16(name);
        put32(a, 0, type);
        a[8] = 0;
        a[9] = static_cast<uint8_t>(name.size());
        put16(a, 10, 24);
        a.insert(a.end(), n.begin(), n.end());
        while (a.size() % 8) a.push_back(0);
        put32(a, 16, static_cast<uint32_t>(value.size()));
        put16(a, 20, static_cast<uint16_t>(a.size()));
        a.insert(a.end(), value.begin(), value.end());
        while (a.size() % 8) a.push_back(0);
        put32(a, 4, static_cast<uint32_t>(a.size()));
        attrs_.insert(attrs_.end(), a.begin(), a.end());
        return *this;
    }

    RecordBuilder& non_resident(uint32_t type, const std::vector<uint8_t>& runs, uint64_t size, uint64_t allocated,
                                const std::string& name = {}, uint64_t first_vcn = 0) {
        std::vector<uint8_t> a(64, 0);
        const auto n = utf16(name);
        put32(a, 0, type);
        a[8] = 1;
        a[9] = static_cast<uint8_t>(name.size());
        put16(a, 10, 64);
        a.insert(a.end(), n.begin(), n.end());
        while (a.size() % 8) a.push_back(0);
        put64(a, 16, first_vcn);
        put64(a, 24, first_vcn + allocated / kCluster - 1);
        put16(a, 32, static_cast<uint16_t>(a.size()));
        put64(a, 40, allocated);
        put64(a, 48, size);
        put64(a, 56, size);
        a.insert(a.end(), runs.begin(), runs.end());
        while (a.size() % 8) a.push_back(0);
        put32(a, 4, static_cast<uint32_t>(a.size()));
        attrs_.insert(attrs_.end(), a.begin(), a.end());
        return *this;
    }

    // The record with its header, end marker and update sequence.
    std::vector<uint8_t> build(uint16_t flags = 1, uint64_t base = 0) const {
        std::vector<uint8_t> r = rec_;
        const size_t first = 0x38;
        put16(r, 20, static_cast<uint16_t>(first));
        put16(r, 22, flags);
        put64(r, 32, base);
        std::memcpy(r.data() + first, attrs_.data(), attrs_.size());
        put32(r, first + attrs_.size(), 0xFFFFFFFF);
        put32(r, 24, static_cast<uint32_t>(first + attrs_.size() + 8));
        put32(r, 28, kRecord);
        protect(r, 0x30);
        return r;
    }

private:
    std::vector<uint8_t> rec_;
    std::vector<uint8_t> attrs_;
};

inline std::vector<uint8_t> boot_sector() {
    std::vector<uint8_t> b(kSector, 0);
    b[0] = 0xEB;
    b[1] = 0x52;
    b[2] = 0x90;
    std::memcpy(b.data() + 3, "NTFS    ", 8);
    put16(b, 11, kSector);
    b[13] = kCluster / kSector;
    put64(b, 40, kClusters * (kCluster / kSector) - 1);
    put64(b, 48, kMftCluster);
    put64(b, 56, 2);
    b[64] = static_cast<uint8_t>(-10);  // 2^10 = 1024-byte records
    b[68] = 1;                          // one cluster per index record
    b[510] = 0x55;
    b[511] = 0xAA;
    return b;
}

// Volume byte offset of record n.
inline uint64_t record_offset(uint64_t n) {
    const uint64_t cluster = n < 8 ? kMftCluster + n / 4 : kMftSecondRun + (n - 8) / 4;
    return cluster * kCluster + (n % 4) * kRecord;
}

inline std::vector<uint8_t> record(uint64_t n) {
    const uint32_t kFileName = 0x30, kData = 0x80, kIndexRoot = 0x90, kIndexAlloc = 0xA0, kBitmap = 0xB0;
    RecordBuilder b;
    switch (n) {
        case 0:
            b.resident(kFileName, file_name_value(5, "$MFT"))
                .non_resident(kData, run_list({{2, kMftCluster}, {2, kMftSecondRun}}), 16 * kRecord, 4 * kCluster);
            return b.build();
        case 5:
            b.resident(kFileName, file_name_value(5, "."))
                .resident(kIndexRoot, index_root_value(index_entries({{10, "hello.txt"}, {11, "docs"}}, 5)), "$I30");
            return b.build(3);
        case 10:
            b.resident(kFileName, file_name_value(5, "HELLO~1.TXT", 2))
                .resident(kFileName, file_name_value(5, "hello.txt"))
                .non_resident(kData, run_list({{3, 100}, {2, 50}}), 5 * kCluster - 100, 5 * kCluster);
            return b.build();
        case 11:
            b.resident(kFileName, file_name_value(5, "docs"))
                .resident(kIndexRoot, index_root_value(index_entries({}, 11)), "$I30")
                .non_resident(kIndexAlloc, run_list({{1, 200}}), kCluster, kCluster, "$I30")
                .resident(kBitmap, {1, 0, 0, 0, 0, 0, 0, 0}, "$I30");
            return b.build(3);
        case 12:
            b.resident(kFileName, file_name_value(11, "inner.bin"))
                .non_resident(kData, run_list({{4, 300}}), 4 * kCluster, 4 * kCluster);
            return b.build();
        case 13: {
            const std::string text = "hi there";
            b.resident(kFileName, file_name_value(11, "small.txt"))
                .resident(kData, std::vector<uint8_t>(text.begin(), text.end()));
            return b.build();
        }
        case 14:
            b.resident(kFileName, file_name_value(15, "loop1")).non_resident(kData, run_list({{1, 400}}), kCluster, kCluster);
            return b.build();
        case 15:
            b.resident(kFileName, file_name_value(14, "loop2"));
            return b.build();
        default: return {};  // never used: zeros
    }
}

// The whole volume.
inline std::vector<uint8_t> image() {
    std::vector<uint8_t> v(kClusters * kCluster, 0);
    auto boot = boot_sector();
    std::memcpy(v.data(), boot.data(), boot.size());
    for (uint64_t n = 0; n < 16; ++n) {
        auto r = record(n);
        if (!r.empty()) std::memcpy(v.data() + record_offset(n), r.data(), r.size());
    }
    auto indx = index_record(0, index_entries({{12, "inner.bin"}, {13, "small.txt"}}, 11));
    std::memcpy(v.data() + 200 * kCluster, indx.data(), indx.size());
    return v;
}

}  // namespace tb::test::ntfs_volume
