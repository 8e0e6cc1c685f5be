// The IDENTIFY DEVICE summary the rest of the system reads: disk list,
// target matching, GetDiskInfo, IsDiskExist and the firmware-update check.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "disk/disk_record.h"

namespace tb {

constexpr size_t kIdentifyBytes = 512;
using IdentifyData = std::array<uint8_t, kIdentifyBytes>;

struct AtaIdentifySummary {
    std::string model;             // words 27-46, bytes swapped per word, trimmed
    std::string serial;            // words 10-19
    std::string firmware;          // words 23-26
    std::string wwn;               // words 108-111, "%02X" x 8, each word high byte first
    uint32_t capacity28 = 0;       // words 60-61 (user addressable sectors, 28-bit)
    uint64_t sectors48 = 0;        // words 100-103
    std::string sectors48_text;    // "0x%08X%08X" (high dword, low dword)
    bool lba48_supported = false;  // word 83 bit 10
    uint32_t capacity_gb = 0;      // capacity rule with 512-byte sectors
    uint32_t capacity_binary_gb = 0;  // sectors x 512 / 1073741824
    // Word 128.
    bool security_supported = false;  // bit 0
    bool security_enabled = false;    // bit 1
    bool security_locked = false;     // bit 2
    bool security_frozen = false;     // bit 3
    bool security_count_expired = false;  // bit 4
    bool security_master_capability = false;  // bit 8
    int sata_generation = -1;      // highest of word 76 bits 1..3 (1 = 1.5, 2 = 3.0, 3 = 6.0 Gbps)
    int sata_current_speed = 0;    // word 77 bits 1..3 as a coded value (1 = 1.5, 2 = 3.0, 3 = 6.0 Gbps)
    int major_version = -1;        // highest of word 80 bits 4..14
    int udma_mode = -1;            // highest i in 0..6 with word 88 bits i and i + 8 set
    bool write_cache_enabled = false;  // word 85 bit 5
    bool trim_supported = false;   // word 169 bit 0 (DATA SET MANAGEMENT with TRIM)
};

// Word `index` of IDENTIFY DEVICE data (little-endian words).
uint16_t identify_word(std::span<const uint8_t> data, size_t index);

// An ATA string of `words` words from `first_word`: bytes swapped per word,
// then trimmed of blanks and NULs at both ends.
std::string identify_string(std::span<const uint8_t> data, size_t first_word, size_t words);

// Decodes a 512-byte IDENTIFY DEVICE block.
AtaIdentifySummary decode_identify(std::span<const uint8_t> data);

// Sends IDENTIFY DEVICE (0xEC, PIO in, 512 bytes) on the record's device path
// as for `access_protocol` (ATA pass-through with fallback, or translation
// only for protocol 2). Returns 1, -1 when the path cannot be opened, -3 when
// the command fails.
int read_identify_device(const DiskRecord& record, uint8_t access_protocol, IdentifyData& data);
inline int read_identify_device(const DiskRecord& record, IdentifyData& data) {
    return read_identify_device(record, record.access_protocol, data);
}

// Reads and decodes; 1 or the negative code of read_identify_device.
int read_identify_summary(const DiskRecord& record, uint8_t access_protocol, AtaIdentifySummary& out);
inline int read_identify_summary(const DiskRecord& record, AtaIdentifySummary& out) {
    return read_identify_summary(record, record.access_protocol, out);
}

}  // namespace tb
