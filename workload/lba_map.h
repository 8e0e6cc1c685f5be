// The LBA map file "LBAMap.map": a reproducible list of requests over one
// region of a disk, made once and played later (possibly by another
// process, after a power cycle). Little-endian, packed:
//
//   offset  size  field
//        0     8  region start, bytes
//        8     8  region length, bytes
//       16     4  request size, bytes (every request of the map has it)
//       20     4  number of records
//       24  9 × n records: offset in bytes (8) then action (1)
//
// Write and trim offsets lie inside the region on a request boundary; a
// flush record's offset means nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tb {

enum class MapAction : uint8_t { Write = 0, Trim = 1, FuaWrite = 2, Flush = 3 };

constexpr size_t kMapHeaderBytes = 24;
constexpr size_t kMapRecordBytes = 9;
constexpr const char* kMapFileName = "LBAMap.map";
// A region holds at most this many requests (bounds the memory of a replay).
constexpr uint64_t kMaxMapUnits = 67108864;

struct MapHeader {
    uint64_t region_start = 0;
    uint64_t region_length = 0;
    uint32_t request_size = 0;
    uint32_t count = 0;

    // Whole requests that fit in the region.
    uint64_t units() const { return request_size ? region_length / request_size : 0; }
};

struct MapRecord {
    uint64_t offset = 0;
    MapAction action = MapAction::Write;
};

inline bool is_write(MapAction a) { return a == MapAction::Write || a == MapAction::FuaWrite; }

struct LbaMap {
    MapHeader header;
    std::vector<MapRecord> records;

    // The unit (request-sized piece of the region) a write or trim lands on.
    uint64_t unit_of(const MapRecord& r) const { return (r.offset - header.region_start) / header.request_size; }
    uint64_t unit_offset(uint64_t unit) const { return header.region_start + unit * header.request_size; }
};

// The 24 header bytes and the 9 bytes of one record.
void encode_map_header(const MapHeader& h, uint8_t out[kMapHeaderBytes]);
void encode_map_record(const MapRecord& r, uint8_t out[kMapRecordBytes]);
std::vector<uint8_t> encode_lba_map(const LbaMap& map);

// Reads a whole map image. Refuses (false, the reason in `why`) an image
// shorter than its header, one whose record count does not match its size,
// a request size of 0, a region that overflows, holds no request or more
// than kMaxMapUnits, an
// unknown action, and a write or trim outside the region or off a request
// boundary. Never reads past the image.
bool decode_lba_map(std::span<const uint8_t> image, LbaMap& out, std::string& why);

// The header alone (for appending); the same header checks.
bool decode_map_header(std::span<const uint8_t> image, MapHeader& out, std::string& why);

// Reads and checks a map file; false with the reason (the file cannot be
// read, or one of the refusals above).
bool load_lba_map(const std::string& path, LbaMap& out, std::string& why);

}  // namespace tb
