// The result file of the drive's reliability test (RDT) run at manufacturing:
// a 16-byte header (magic "RDT1", test count, loops run, overall error code)
// and 48-byte test entries (name, loops, error code, bad blocks found,
// seconds), padded to whole 4096-byte chunks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tb {

constexpr uint32_t kRdtMagic = 0x31544452;  // "RDT1"
constexpr size_t kRdtHeaderBytes = 16;
constexpr size_t kRdtEntryBytes = 48;

struct RdtTest {
    std::string name;  // 32 bytes
    uint32_t loops = 0, error_code = 0, bad_blocks = 0, seconds = 0;
};
struct RdtResult {
    uint32_t loops = 0;
    uint32_t error_code = 0;  // 0: passed
    std::vector<RdtTest> tests;
};

std::vector<uint8_t> encode_rdt_result(const RdtResult&);
// nullopt: bad magic, or fewer bytes than the test count needs.
std::optional<RdtResult> decode_rdt_result(std::span<const uint8_t>);

// The text of an error code in the package's error list (ErrCodeList.ini,
// section ErrorCodeString, keys "0x%04X"), or "" when it has none.
std::string rdt_error_text(uint32_t code);

}  // namespace tb
