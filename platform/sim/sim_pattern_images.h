// Identify and SMART images in which every field holds a distinct,
// recognisable value, for checking decoded reports field by field. A disk
// with `pattern_images = 1` in its config section returns these instead of
// its live structures.
//
// NVMe structures: byte i holds i mod 256 (a field's value spells its own
// offset), except the text fields, the namespace size fields and the LBA
// formats, which hold plausible values. ATA IDENTIFY: word i holds i in its
// high byte and 255 - i in its low byte, with texts and a valid integrity
// word.
#pragma once

#include <cstdint>
#include <vector>

namespace tb::sim {

std::vector<uint8_t> pattern_identify_controller();   // 4096 bytes
std::vector<uint8_t> pattern_identify_namespace();    // 4096 bytes; format 19 (4096-byte blocks) selected
std::vector<uint8_t> pattern_smart_log();             // 512 bytes
std::vector<uint8_t> pattern_ata_identify();          // 512 bytes
std::vector<uint8_t> pattern_ata_smart_data();        // 512 bytes, 16 attributes
std::vector<uint8_t> pattern_ata_smart_thresholds();  // 512 bytes

}  // namespace tb::sim
