// Helpers for tests that damage archives built by ZipWriter: finding the
// records of an entry and patching their fields.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tb::test {

inline uint32_t zip_get32(const std::string& o, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(o[at + i]);
    return v;
}
inline uint32_t zip_get16(const std::string& o, size_t at) {
    return static_cast<unsigned char>(o[at]) | (static_cast<unsigned char>(o[at + 1]) << 8);
}
inline void zip_patch32(std::string& o, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) o[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void zip_patch16(std::string& o, size_t at, uint32_t v) {
    for (int i = 0; i < 2; ++i) o[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Offset of the end-of-central-directory record.
inline size_t zip_end_record(const std::string& zip) { return zip.rfind(std::string("PK\x05\x06", 4)); }

// Offset of the n-th central-directory record (records without extra fields or comments).
inline size_t zip_directory_record(const std::string& zip, int n) {
    size_t pos = zip_get32(zip, zip_end_record(zip) + 16);
    for (int i = 0; i < n; ++i) pos += 46 + zip_get16(zip, pos + 28);
    return pos;
}
inline size_t zip_local_header(const std::string& zip, int n) {
    return zip_get32(zip, zip_directory_record(zip, n) + 42);
}
// Offset of the n-th entry's data.
inline size_t zip_entry_data(const std::string& zip, int n) {
    size_t local = zip_local_header(zip, n);
    return local + 30 + zip_get16(zip, local + 26) + zip_get16(zip, local + 28);
}

// Sets the n-th entry's uncompressed size in both its headers.
inline void zip_declare_size(std::string& zip, int n, uint32_t size) {
    zip_patch32(zip, zip_local_header(zip, n) + 22, size);
    zip_patch32(zip, zip_directory_record(zip, n) + 24, size);
}

inline uint32_t crc_of(std::string_view s) {
    return static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

}  // namespace tb::test
