// The slot state a run needs to carry on after a restart, besides its lists
// and variables: where to go on, the loop bookkeeping, the counters, and
// what it ran on (script, its digest, the disk's location), so that a file
// of another script, another version of it or another disk is refused.
//
// File layout (little-endian): the 8 bytes "TBRSTATE", the layout version
// (u32), the length of the body (u32), the body, and an FNV-1a 64-bit digest
// of everything before it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

constexpr uint32_t kScriptInfoVersion = 1;

struct ScriptInfoImage {
    std::string script_path;
    std::string disk_location;    // location_text() of the target
    uint64_t script_size = 0;
    uint64_t script_digest = 0;   // text_digest() of the script text
    uint64_t resume_position = 0; // byte offset of the statement to run next
    uint64_t loop_start = 0;
    int64_t break_level = -1;
    uint32_t loop_depth = 0;
    uint32_t reboot_count = 0;
    uint32_t reboot_limit = 0;
    uint64_t output_counter = 0;
};

// FNV-1a, 64 bits.
uint64_t text_digest(std::span<const uint8_t> bytes);
uint64_t text_digest(std::string_view text);

std::vector<uint8_t> encode_script_info(const ScriptInfoImage& info);
// False with `error` set for a file of another kind or version, a damaged
// one (digest), or one whose body is cut short or too long.
bool decode_script_info(std::span<const uint8_t> bytes, ScriptInfoImage& out, std::string& error);

}  // namespace tb
