// The word table of the ATA IDENTIFY DEVICE data (words 0-255).
#pragma once

#include <cstdint>
#include <span>

namespace tb {

enum class WordShow : uint8_t {
    Word,    // one word, "0x%04X"
    Number,  // two or four words as one little-endian number
    Text,    // ATA string: bytes swapped per word
    Words,   // "%04X " per word (reserved, obsolete, vendor-specific ranges)
    Wwn,     // words 108-111, first word most significant
};

struct WordDef {
    uint16_t word;
    uint16_t count;
    WordShow show;
    const char* label;
};

// Bits hi..lo of the single word `word`.
struct WordBitDef {
    uint16_t word;
    uint8_t hi, lo;
    const char* label;
};

std::span<const WordDef> identify_device_words();
std::span<const WordBitDef> identify_device_bits();

}  // namespace tb
