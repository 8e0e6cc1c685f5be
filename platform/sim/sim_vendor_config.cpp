#include "platform/sim/sim_vendor_config.h"

#include <cstdlib>

#include "common/text.h"

namespace tb::sim {

namespace {

std::optional<uint64_t> parse_number(const std::string& text) {
    std::string t = trim(text);
    if (t.empty()) return std::nullopt;
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t = t.substr(2);
    }
    if (t.empty() || t.size() > 16) return std::nullopt;
    char* end = nullptr;
    unsigned long long v = std::strtoull(t.c_str(), &end, base);
    if (!end || *end != 0 || t[0] == '-' || t[0] == '+') return std::nullopt;
    return v;
}

std::optional<bool> parse_flag(const std::string& text) {
    std::string t = to_lower(trim(text));
    if (t == "1" || t == "yes" || t == "true" || t == "on") return true;
    if (t == "0" || t == "no" || t == "false" || t == "off") return false;
    return std::nullopt;
}

bool set_flag(bool& field, const std::string& key, const std::string& value, std::string& error) {
    auto f = parse_flag(value);
    if (!f) {
        error = key + " must be 0 or 1, not " + value;
        return false;
    }
    field = *f;
    return true;
}

bool set_kind(SimVendorConfig& c, const std::string& value, std::string& error) {
    std::string t = to_lower(trim(value));
    if (t == "none") c.kind = VendorKind::None;
    else if (t == "1") c.kind = VendorKind::Selector1;
    else if (t == "192") c.kind = VendorKind::Selector192;
    else if (t == "0") c.kind = VendorKind::Selector0;
    else if (t == "ata") c.kind = VendorKind::Ata;
    else {
        error = "vendor must be 1, 192, 0, ata or none, not " + value;
        return false;
    }
    return true;
}

bool set_mp_info(SimVendorConfig& c, const std::string& value, std::string& error) {
    std::string t = to_lower(trim(value));
    if (t == "1768") c.mp_info_form = 1768;
    else if (t == "4096") c.mp_info_form = 4096;
    else if (t == "none") c.mp_info_form = 0;
    else {
        error = "vendor_mpinfo must be 1768, 4096 or none, not " + value;
        return false;
    }
    return true;
}

bool set_16bit(uint16_t& field, const std::string& key, const std::string& value, std::string& error) {
    auto v = parse_number(value);
    if (!v || *v > 0xFFFF) {
        error = key + " must be a number from 0 to 0xFFFF, not " + value;
        return false;
    }
    field = static_cast<uint16_t>(*v);
    return true;
}

}  // namespace

int vendor_selector(VendorKind kind) {
    switch (kind) {
        case VendorKind::Selector1: return 1;
        case VendorKind::Selector192: return 192;
        case VendorKind::Selector0: return 0;
        default: return -1;
    }
}

std::optional<bool> apply_vendor_key(SimVendorConfig& c, const std::string& key, const std::string& value,
                                     std::string& error) {
    if (key == "vendor") return set_kind(c, value, error);
    if (key == "vendor_soc") return set_16bit(c.soc_id, key, value, error);
    if (key == "vendor_rom") return set_flag(c.start_in_rom, key, value, error);
    if (key == "vendor_e1") {
        bool on = false;
        if (!set_flag(on, key, value, error)) return false;
        c.log_e1 = on;
        return true;
    }
    if (key == "vendor_mpinfo") return set_mp_info(c, value, error);
    if (key == "vendor_drive_info") return set_flag(c.drive_information, key, value, error);
    if (key == "vendor_id_byte256") {
        bool on = false;
        if (!set_flag(on, key, value, error)) return false;
        c.byte256_bit1 = on;
        return true;
    }
    if (key == "vendor_lock") return set_flag(c.needs_enable, key, value, error);
    if (key == "vendor_word") return set_16bit(c.vendor_word, key, value, error);
    return std::nullopt;
}

bool vendor_fits_disk(const SimVendorConfig& c, bool nvme, std::string& error, std::string& key) {
    key = "vendor";
    if (c.kind == VendorKind::None) return true;
    if (nvme && c.kind == VendorKind::Ata) {
        error = "vendor = ata is for a SATA disk; an NVMe disk takes 1, 192 or 0";
        return false;
    }
    if (!nvme && c.kind != VendorKind::Ata) {
        error = "a SATA disk takes vendor = ata; 1, 192 and 0 are for an NVMe disk";
        return false;
    }
    if (c.kind == VendorKind::Ata && c.needs_enable) {
        key = "vendor_lock";
        error = "vendor_lock is for an NVMe disk: the vendor ATA protocol has no enable vendor mode";
        return false;
    }
    return true;
}

}  // namespace tb::sim
