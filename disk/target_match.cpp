#include "disk/target_match.h"

#include <cctype>
#include <optional>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_identity.h"
#include "disk/port_identifier.h"

namespace tb {

namespace {

// The text after a marker; nothing when the marker is absent.
std::optional<std::string_view> after_marker(std::string_view selector, std::string_view marker) {
    size_t at = ifind(selector, marker);
    if (at == std::string_view::npos) return std::nullopt;
    return selector.substr(at + marker.size());
}

std::optional<uint32_t> parse_hex(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : ascii_lower(c) - 'a' + 10;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    return v;
}

bool wildcard_equals(std::string_view pattern, std::string_view text) {
    if (pattern.size() != text.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] != '?' && ascii_upper(pattern[i]) != ascii_upper(text[i])) return false;
    return true;
}

}  // namespace

bool match_hex_selector(std::string_view text, uint32_t value, bool zero_never_matches) {
    if (std::optional<uint32_t> number = parse_hex(text)) {
        if (zero_never_matches && value == 0) return false;
        return *number == value;
    }
    return wildcard_equals(text, fmt("%04X", value));
}

bool selector_needs_vendor_id(std::string_view selector) {
    return iequals(selector, "\\\\.\\QZdisk") || icontains(selector, "\\socid\\");
}

bool match_target(std::string_view selector, const DiskRecord& record) {
    if (auto text = after_marker(selector, "\\MODEL\\")) {
        DriveIdentity id = read_drive_identity(record);
        return id.ok && icontains(id.model, *text);
    }
    if (auto text = after_marker(selector, "\\PORT\\")) return icontains(port_identifier(record), *text);
    if (auto text = after_marker(selector, "\\VID\\")) {
        if (!is_nvme_protocol(record.access_protocol)) return false;
        DriveIdentity id = read_drive_identity(record);
        return id.ok && match_hex_selector(*text, id.pci_vendor_id);
    }
    if (auto text = after_marker(selector, "\\SOCID\\")) return match_hex_selector(*text, record.soc_id, true);
    if (icontains(selector, "\\QZDISK")) return record.soc_id != 0;
    if (icontains(selector, "\\COMBOdisk1")) return true;
    return (!record.physical_path.empty() && iequals(selector, record.physical_path)) ||
           (!record.device_path.empty() && iequals(selector, record.device_path));
}

}  // namespace tb
