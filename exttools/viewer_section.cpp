#include "exttools/viewer_section.h"

#include <cstdint>
#include <cstring>

#include "common/text.h"

namespace tb {

namespace {

size_t field_end(ViewerField field) {
    switch (field) {
        case ViewerField::Sent: return static_cast<size_t>(ViewerField::Awaited);
        case ViewerField::Awaited: return static_cast<size_t>(ViewerField::Answer);
        default: return kViewerSectionBytes;
    }
}

}  // namespace

size_t viewer_field_units(ViewerField field) { return (field_end(field) - static_cast<size_t>(field)) / 2 - 1; }

bool ViewerSection::open() { return segment_.attach(kViewerSectionName, kViewerSectionBytes); }

std::string ViewerSection::read(ViewerField field) const {
    if (!segment_.attached()) return {};
    const auto* bytes = static_cast<const volatile uint8_t*>(segment_.data());
    std::u16string text;
    for (size_t at = static_cast<size_t>(field); at + 1 < field_end(field); at += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == 0) break;
        text += unit;
    }
    return to_utf8(text);
}

bool ViewerSection::write(ViewerField field, std::string_view text) {
    const std::u16string units = to_utf16(text);
    if (!segment_.attached() || units.size() > viewer_field_units(field)) return false;
    auto* bytes = static_cast<volatile uint8_t*>(segment_.data());
    const size_t start = static_cast<size_t>(field);
    // The field reads empty while the rest is written, and its first
    // character comes last: a reader sees the old text, none, or the whole new one.
    bytes[start] = 0;
    bytes[start + 1] = 0;
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    const size_t end = start + 2 * units.size();
    bytes[end] = 0;
    bytes[end + 1] = 0;
    for (size_t i = 1; i < units.size(); ++i) {
        bytes[start + 2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
        bytes[start + 2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    if (!units.empty()) {
        const uint8_t first[2] = {static_cast<uint8_t>(units[0] & 0xFF), static_cast<uint8_t>(units[0] >> 8)};
        uint16_t word;
        std::memcpy(&word, first, 2);  // the unit in the section's byte order, stored at once
        *reinterpret_cast<volatile uint16_t*>(bytes + start) = word;
    }
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    return true;
}

bool ViewerSection::empty(ViewerField field) const {
    if (!segment_.attached()) return true;
    const auto* bytes = static_cast<const volatile uint8_t*>(segment_.data());
    const size_t at = static_cast<size_t>(field);
    return bytes[at] == 0 && bytes[at + 1] == 0;
}

}  // namespace tb
