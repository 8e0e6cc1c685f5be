#include "platform/sim/sim_common.h"

#include <cstdio>

namespace tb::sim {

std::string firmware_image_revision(std::span<const uint8_t> image) {
    static constexpr char kMarker[] = "FWREV:";
    constexpr size_t kLen = sizeof(kMarker) - 1;
    for (size_t i = 0; i + kLen <= image.size(); ++i) {
        if (std::memcmp(image.data() + i, kMarker, kLen) != 0) continue;
        std::string rev;
        for (size_t j = i + kLen; j < image.size() && rev.size() < 8; ++j) {
            char c = static_cast<char>(image[j]);
            if (c < 0x21 || c > 0x7E) break;
            rev.push_back(c);
        }
        if (!rev.empty()) return rev;
    }
    uint32_t h = 2166136261u;  // FNV-1a
    for (uint8_t b : image) h = (h ^ b) * 16777619u;
    char buf[16];
    std::snprintf(buf, sizeof buf, "S%07X", h & 0x0FFFFFFF);
    return buf;
}

}  // namespace tb::sim
