#include "workload/lba_map.h"

#include "common/file_handle.h"
#include "common/format.h"

namespace tb {

namespace {

void put_le(uint8_t* at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t get_le(const uint8_t* at, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}

bool check_header(const MapHeader& h, std::string& why) {
    if (h.request_size == 0) {
        why = "its request size is 0";
        return false;
    }
    if (h.region_start + h.region_length < h.region_start) {
        why = "its region passes the end of a 64-bit offset";
        return false;
    }
    if (h.region_length < h.request_size) {
        why = fmt("its region of %I64u bytes holds no request of %u bytes", h.region_length, h.request_size);
        return false;
    }
    if (h.units() > kMaxMapUnits) {
        why = fmt("its region holds %I64u requests, more than %I64u", h.units(), kMaxMapUnits);
        return false;
    }
    return true;
}

bool check_record(const MapHeader& h, const MapRecord& r, uint32_t index, std::string& why) {
    if (r.action == MapAction::Flush) return true;
    const uint64_t last = h.region_start + (h.units() - 1) * h.request_size;
    if (r.offset < h.region_start || r.offset > last) {
        why = fmt("record %u at offset 0x%I64X lies outside the region", index, r.offset);
        return false;
    }
    if ((r.offset - h.region_start) % h.request_size) {
        why = fmt("record %u at offset 0x%I64X is not on a request boundary", index, r.offset);
        return false;
    }
    return true;
}

}  // namespace

void encode_map_header(const MapHeader& h, uint8_t out[kMapHeaderBytes]) {
    put_le(out, h.region_start, 8);
    put_le(out + 8, h.region_length, 8);
    put_le(out + 16, h.request_size, 4);
    put_le(out + 20, h.count, 4);
}

void encode_map_record(const MapRecord& r, uint8_t out[kMapRecordBytes]) {
    put_le(out, r.offset, 8);
    out[8] = static_cast<uint8_t>(r.action);
}

std::vector<uint8_t> encode_lba_map(const LbaMap& map) {
    std::vector<uint8_t> out(kMapHeaderBytes + kMapRecordBytes * map.records.size());
    MapHeader h = map.header;
    h.count = static_cast<uint32_t>(map.records.size());
    encode_map_header(h, out.data());
    uint8_t* at = out.data() + kMapHeaderBytes;
    for (const MapRecord& r : map.records) {
        encode_map_record(r, at);
        at += kMapRecordBytes;
    }
    return out;
}

bool decode_map_header(std::span<const uint8_t> image, MapHeader& out, std::string& why) {
    if (image.size() < kMapHeaderBytes) {
        why = fmt("the file holds %u bytes, less than the %u of a map header", static_cast<unsigned>(image.size()),
                  static_cast<unsigned>(kMapHeaderBytes));
        return false;
    }
    out.region_start = get_le(image.data(), 8);
    out.region_length = get_le(image.data() + 8, 8);
    out.request_size = static_cast<uint32_t>(get_le(image.data() + 16, 4));
    out.count = static_cast<uint32_t>(get_le(image.data() + 20, 4));
    return check_header(out, why);
}

bool decode_lba_map(std::span<const uint8_t> image, LbaMap& out, std::string& why) {
    out = LbaMap{};
    if (!decode_map_header(image, out.header, why)) return false;
    const uint64_t room = (image.size() - kMapHeaderBytes) / kMapRecordBytes;
    if (out.header.count > room) {
        why = fmt("it claims %u records but its size holds %I64u", out.header.count, room);
        return false;
    }
    if (kMapHeaderBytes + uint64_t{out.header.count} * kMapRecordBytes != image.size()) {
        why = fmt("it holds bytes after its %u records (a map that was never finished?)", out.header.count);
        return false;
    }
    out.records.resize(out.header.count);
    const uint8_t* at = image.data() + kMapHeaderBytes;
    for (uint32_t i = 0; i < out.header.count; ++i, at += kMapRecordBytes) {
        MapRecord& r = out.records[i];
        r.offset = get_le(at, 8);
        if (at[8] > static_cast<uint8_t>(MapAction::Flush)) {
            why = fmt("record %u has the unknown action %u", i, static_cast<unsigned>(at[8]));
            return false;
        }
        r.action = static_cast<MapAction>(at[8]);
        if (!check_record(out.header, r, i, why)) return false;
    }
    return true;
}

bool load_lba_map(const std::string& path, LbaMap& out, std::string& why) {
    std::string bytes;
    if (!read_file_bytes(path, bytes)) {
        why = fmt("%s cannot be read", path);
        return false;
    }
    std::span<const uint8_t> image(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!decode_lba_map(image, out, why)) {
        why = fmt("%s: %s", path, why);
        return false;
    }
    return true;
}

}  // namespace tb
