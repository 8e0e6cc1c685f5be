#include "script/script_info_image.h"

#include <cstring>

#include "common/format.h"
#include "script/little_endian.h"

namespace tb {

namespace {

constexpr char kMagic[8] = {'T', 'B', 'R', 'S', 'T', 'A', 'T', 'E'};
constexpr size_t kHeaderSize = 16;
constexpr size_t kDigestSize = 8;
constexpr size_t kMaxPathBytes = 4096;

std::vector<uint8_t> encode_body(const ScriptInfoImage& i) {
    std::vector<uint8_t> b;
    put_text(b, i.script_path);
    put_text(b, i.disk_location);
    put_le(b, i.script_size, 8);
    put_le(b, i.script_digest, 8);
    put_le(b, i.resume_position, 8);
    put_le(b, i.loop_start, 8);
    put_le(b, static_cast<uint64_t>(i.break_level), 8);
    put_le(b, i.loop_depth, 4);
    put_le(b, i.reboot_count, 4);
    put_le(b, i.reboot_limit, 4);
    put_le(b, i.output_counter, 8);
    return b;
}

bool decode_body(std::span<const uint8_t> body, ScriptInfoImage& i) {
    LeReader r(body);
    uint64_t break_level = 0, loop_depth = 0, count = 0, limit = 0;
    r.read_text(i.script_path, kMaxPathBytes);
    r.read_text(i.disk_location, kMaxPathBytes);
    r.read(8, i.script_size);
    r.read(8, i.script_digest);
    r.read(8, i.resume_position);
    r.read(8, i.loop_start);
    r.read(8, break_level);
    r.read(4, loop_depth);
    r.read(4, count);
    r.read(4, limit);
    r.read(8, i.output_counter);
    if (!r.ok() || r.left() != 0) return false;
    i.break_level = static_cast<int64_t>(break_level);
    i.loop_depth = static_cast<uint32_t>(loop_depth);
    i.reboot_count = static_cast<uint32_t>(count);
    i.reboot_limit = static_cast<uint32_t>(limit);
    return true;
}

}  // namespace

uint64_t text_digest(std::span<const uint8_t> bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

uint64_t text_digest(std::string_view text) {
    return text_digest(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<uint8_t> encode_script_info(const ScriptInfoImage& info) {
    std::vector<uint8_t> body = encode_body(info);
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    put_le(out, kScriptInfoVersion, 4);
    put_le(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    put_le(out, text_digest(out), 8);
    return out;
}

bool decode_script_info(std::span<const uint8_t> bytes, ScriptInfoImage& out, std::string& error) {
    if (bytes.size() < kHeaderSize + kDigestSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        error = "not a saved run state";
        return false;
    }
    const uint64_t version = get_le(bytes, 8, 4);
    if (version != kScriptInfoVersion) {
        error = fmt("saved run state of layout version %d (this program reads %d)", static_cast<int>(version),
                    static_cast<int>(kScriptInfoVersion));
        return false;
    }
    const uint64_t body_size = get_le(bytes, 12, 4);
    if (body_size != bytes.size() - kHeaderSize - kDigestSize) {
        error = "saved run state cut short or with bytes after its end";
        return false;
    }
    const size_t digest_at = bytes.size() - kDigestSize;
    if (get_le(bytes, digest_at, 8) != text_digest(bytes.first(digest_at))) {
        error = "saved run state damaged (digest mismatch)";
        return false;
    }
    ScriptInfoImage info;
    if (!decode_body(bytes.subspan(kHeaderSize, static_cast<size_t>(body_size)), info)) {
        error = "saved run state with a malformed body";
        return false;
    }
    out = std::move(info);
    return true;
}

}  // namespace tb
