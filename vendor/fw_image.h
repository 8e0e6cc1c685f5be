// The firmware image file: a 4096-byte header page, then the parts, each
// starting on a 4096-byte boundary. The header holds a magic "TBFI", its
// version, the part count, the image's total bytes, and one 16-byte entry per
// part (kind, offset, bytes, checksum: the 32-bit sum of the part's dwords,
// a short last dword zero-filled). A firmware configuration record inside an
// image is the part of kind Config; in a file without the header it is found
// as a 4096-byte record with its magic and checksum on a 4096-byte boundary.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tb {

constexpr uint32_t kFwImageMagic = 0x49464254;  // "TBFI"
constexpr uint32_t kFwImageVersion = 1;
constexpr size_t kFwImageHeaderBytes = 4096;
constexpr size_t kFwImagePartTable = 32;  // first part entry
constexpr size_t kFwImagePartEntryBytes = 16;
constexpr uint32_t kFwImageMaxParts = 16;

enum class FwPartKind : uint32_t { Code = 1, Config = 2 };

struct FwPart {
    FwPartKind kind = FwPartKind::Code;
    uint32_t offset = 0, size = 0, checksum = 0;
};

// The 32-bit sum of the dwords of `bytes` (a short last dword zero-filled).
uint32_t dword_sum(std::span<const uint8_t> bytes);

// The parts of an image with a valid header (parts inside the file); nullopt otherwise.
std::optional<std::vector<FwPart>> fw_image_parts(std::span<const uint8_t> image);

// An image of the given parts in order: a part holding a valid firmware
// configuration record is of kind Config, any other Code. nullopt: no parts,
// more than kFwImageMaxParts, or an image past 4 GiB.
std::optional<std::vector<uint8_t>> build_fw_image(std::span<const std::span<const uint8_t>> parts);

// The byte offset of the firmware configuration record in `file`: the Config
// part of an image, or the first sealed record on a 4096-byte boundary.
std::optional<size_t> find_fw_config(std::span<const uint8_t> file);

// After a part was changed (a configuration record resealed): every part
// checksum of the image header is computed again (nothing for a file
// without the header).
void refresh_fw_image_checksums(std::span<uint8_t> file);

}  // namespace tb
