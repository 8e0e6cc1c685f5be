#include "platform/sim/sim_volume_images.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "common/text.h"
#include "platform/sim/backing_store.h"
#include "platform/sim/host_path.h"
#include "platform/sim/sim_volume_layout.h"

namespace tb::sim {

namespace {

constexpr size_t kPiece = 1u << 20;

bool all_zero(const std::vector<char>& bytes, size_t n) {
    return std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), [](char c) { return c == 0; });
}

}  // namespace

bool parse_volume_image(const std::string& value, int line, std::vector<VolumeImage>& out, std::string& error) {
    const std::string v = trim(value);
    if (v.size() < 3 || v[1] != ':' || ascii_upper(v[0]) < 'C' || ascii_upper(v[0]) > 'Z') {
        error = "volume_image is letter:image file (D:/path/vol.img), not " + value;
        return false;
    }
    const char letter = ascii_upper(v[0]);
    for (const VolumeImage& i : out) {
        if (i.letter == letter) {
            error = std::string("volume_image: volume ") + letter + ": given twice";
            return false;
        }
    }
    out.push_back({letter, trim(v.substr(2)), line});
    return true;
}

bool attach_volume_images(DiskConfig& disk, int& line, std::string& error) {
    for (const VolumeImage& image : disk.volume_images) {
        line = image.line;
        auto v = std::find_if(disk.volumes.begin(), disk.volumes.end(),
                              [&](const VolumeConfig& c) { return c.letter == image.letter; });
        if (v == disk.volumes.end()) {
            error = std::string("volume_image: disk ") + std::to_string(disk.number) + " has no volume " + image.letter + ":";
            return false;
        }
        std::error_code ec;
        const uint64_t size = std::filesystem::file_size(host_path(image.path), ec);
        if (ec || size == 0) {
            error = "volume_image: cannot read " + image.path;
            return false;
        }
        if (v->total_bytes && v->total_bytes < size) {
            error = std::string("volume_image: ") + image.path + " is larger than volume " + image.letter + ":";
            return false;
        }
        if (!v->total_bytes) v->total_bytes = size;
        v->image = image.path;
    }
    return true;
}

bool copy_volume_images(const DiskConfig& disk, BackingStore& store, std::string* error) {
    for (const VolumeConfig& v : disk.volumes) {
        if (v.image.empty()) continue;
        const uint64_t at = volume_offset(disk, v.letter).value_or(0);
        std::ifstream in(host_path(v.image), std::ios::binary);
        std::vector<char> piece(kPiece);
        uint64_t done = 0;
        while (in && done < v.total_bytes) {
            in.read(piece.data(), static_cast<std::streamsize>(std::min<uint64_t>(kPiece, v.total_bytes - done)));
            const auto n = static_cast<size_t>(in.gcount());
            if (n == 0) break;
            const bool ok = all_zero(piece, n)
                                ? store.trim(at + done, n)
                                : store.write(at + done, {reinterpret_cast<const uint8_t*>(piece.data()), n}, true);
            if (!ok) {
                if (error) *error = "cannot copy " + v.image + " onto disk " + std::to_string(disk.number);
                return false;
            }
            done += n;
        }
        if (done == 0) {
            if (error) *error = "cannot read " + v.image;
            return false;
        }
    }
    return store.flush();
}

}  // namespace tb::sim
