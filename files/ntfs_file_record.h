// One MFT file record: its header and attributes, decoded from the record's
// bytes with every offset and length checked against the record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/ntfs_run_list.h"

namespace tb::ntfs {

constexpr uint32_t kAttrStandardInformation = 0x10;
constexpr uint32_t kAttrAttributeList = 0x20;
constexpr uint32_t kAttrFileName = 0x30;
constexpr uint32_t kAttrData = 0x80;
constexpr uint32_t kAttrIndexRoot = 0x90;
constexpr uint32_t kAttrIndexAllocation = 0xA0;
constexpr uint32_t kAttrEnd = 0xFFFFFFFF;

struct Attribute {
    uint32_t type = 0;
    uint32_t offset = 0;    // inside the record
    std::string name;       // UTF-8; empty for the unnamed stream
    bool resident = true;
    // Resident: the value and where it starts inside the record.
    std::vector<uint8_t> value;
    uint32_t value_offset = 0;
    // Non-resident: the runs and the stream's sizes.
    std::vector<Run> runs;
    uint64_t first_vcn = 0;
    uint64_t data_size = 0;       // resident: the value's length
    uint64_t allocated_size = 0;
};

struct FileRecord {
    uint64_t number = 0;
    uint16_t flags = 0;
    uint64_t base_record = 0;  // 0 for a base record
    std::vector<Attribute> attributes;

    bool in_use() const { return flags & 1; }
    bool directory() const { return flags & 2; }
    // The first attribute of `type` with `name` (empty: the unnamed one); nullptr when none.
    const Attribute* find(uint32_t type, const std::string& name = {}) const;
};

// Whether the record starts with "FILE".
bool has_file_signature(std::span<const uint8_t> raw);

// Decodes a record read from the volume: signature ("MFT Signature Error"),
// update sequence ("Sector %d CheckWORD  Error"), then every attribute up
// to the end marker or the bytes in use. `raw` is changed by the update
// sequence. Runs are checked against `volume_clusters`. False with the
// reason when anything does not fit.
bool decode_file_record(std::span<uint8_t> raw, uint32_t sector_size, uint64_t volume_clusters, FileRecord& out,
                        std::string& error);

}  // namespace tb::ntfs
