#include "ui/image_size.h"

#include <cstdint>

#include "common/file_handle.h"

namespace tb {

namespace {

uint32_t byte_at(std::string_view b, size_t i) { return static_cast<unsigned char>(b[i]); }
uint32_t be16(std::string_view b, size_t i) { return byte_at(b, i) << 8 | byte_at(b, i + 1); }
uint32_t be32(std::string_view b, size_t i) { return be16(b, i) << 16 | be16(b, i + 2); }
uint32_t le16(std::string_view b, size_t i) { return byte_at(b, i) | byte_at(b, i + 1) << 8; }
uint32_t le32(std::string_view b, size_t i) { return le16(b, i) | le16(b, i + 2) << 16; }

int jpeg_height(std::string_view b) {
    size_t i = 2;
    while (i + 4 <= b.size()) {
        if (byte_at(b, i) != 0xFF) return -1;
        uint32_t marker = byte_at(b, i + 1);
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without a length
            i += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return -1;  // end of image or scan before any frame header
        uint32_t len = be16(b, i + 2);
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) return i + 7 <= b.size() ? static_cast<int>(be16(b, i + 5)) : -1;
        i += 2 + len;
    }
    return -1;
}

}  // namespace

int image_height_of(std::string_view b) {
    if (b.size() >= 24 && b.substr(0, 8) == "\x89PNG\r\n\x1A\n" && b.substr(12, 4) == "IHDR")
        return static_cast<int>(be32(b, 20) & 0x7FFFFFFF);
    if (b.size() >= 26 && b.substr(0, 2) == "BM") {
        if (le32(b, 14) == 12) return static_cast<int>(le16(b, 20));  // core header: 16-bit height
        int64_t h = static_cast<int32_t>(le32(b, 22));  // negative: top-down rows
        return static_cast<int>(h < 0 ? (h < -INT32_MAX ? INT32_MAX : -h) : h);
    }
    if (b.size() >= 10 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a"))
        return static_cast<int>(le16(b, 8));
    if (b.size() >= 4 && byte_at(b, 0) == 0xFF && byte_at(b, 1) == 0xD8) return jpeg_height(b);
    return -1;
}

int image_height(const std::string& path) {
    std::string bytes;
    if (!read_file_bytes(path, bytes)) return -1;
    return image_height_of(bytes);
}

}  // namespace tb
