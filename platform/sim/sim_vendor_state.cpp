#include "platform/sim/sim_vendor_state.h"

#include <cstdlib>

namespace tb::sim {

namespace {

constexpr size_t kMaxEvents = 256;

std::string to_hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Empty when the text is not whole bytes of hex digits.
std::vector<uint8_t> from_hex(const std::string& s) {
    std::vector<uint8_t> out;
    if (s.size() % 2) return out;
    out.reserve(s.size() / 2);
    for (size_t i = 0; i < s.size(); i += 2) {
        int hi = hex_value(s[i]), lo = hex_value(s[i + 1]);
        if (hi < 0 || lo < 0) return {};
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return out;
}

std::string events_text(const std::vector<VendorEvent>& events) {
    std::string s;
    for (const auto& e : events) {
        if (!s.empty()) s += ';';
        s += std::to_string(e.timestamp_ms) + ':' + std::to_string(e.code) + ':' + std::to_string(e.severity) + ':' +
             std::to_string(e.parameter);
    }
    return s;
}

std::vector<VendorEvent> events_of(const std::string& s) {
    std::vector<VendorEvent> out;
    size_t at = 0;
    while (at < s.size() && out.size() < kMaxEvents) {
        size_t end = s.find(';', at);
        if (end == std::string::npos) end = s.size();
        std::string item = s.substr(at, end - at);
        at = end + 1;
        unsigned long long v[4] = {};
        const char* p = item.c_str();
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i) {
            char* next = nullptr;
            v[i] = std::strtoull(p, &next, 10);
            ok = next != p && (i == 3 ? *next == 0 : *next == ':');
            p = next + (i == 3 ? 0 : 1);
        }
        if (!ok) continue;
        out.push_back({v[0], static_cast<uint16_t>(v[1]), static_cast<uint8_t>(v[2]), static_cast<uint32_t>(v[3])});
    }
    return out;
}

}  // namespace

void SimVendorState::save(std::map<std::string, std::string>& m) const {
    m["vnd.rom"] = rom_mode ? "1" : "0";
    m["vnd.fw_mode"] = std::to_string(firmware_mode);
    m["vnd.spare_kept"] = spare_blocks_kept ? "1" : "0";
    m["vnd.thin_bytes"] = std::to_string(thin_bytes);
    m["vnd.not_ready_reads"] = std::to_string(not_ready_reads);
    m["vnd.brand_new"] = std::to_string(brand_new_count);
    m["vnd.ddr_trainings"] = std::to_string(ddr_trainings);
    if (!fw_config.empty()) m["vnd.fw_config"] = to_hex(fw_config);
    if (identity) {
        m["vnd.id.model"] = identity->model;
        m["vnd.id.serial"] = identity->serial;
        m["vnd.id.firmware"] = identity->firmware;
    }
    if (!pcie_data.empty()) m["vnd.pcie_data"] = to_hex(pcie_data);
    m["vnd.events"] = events_text(events);
    m["vnd.vendor_mode"] = vendor_mode ? "1" : "0";
}

void SimVendorState::load(const std::map<std::string, std::string>& m) {
    auto text = [&](const char* key) -> const std::string* {
        auto it = m.find(key);
        return it == m.end() ? nullptr : &it->second;
    };
    auto num = [&](const char* key, uint64_t fallback) -> uint64_t {
        const std::string* v = text(key);
        if (!v || v->empty()) return fallback;
        char* end = nullptr;
        unsigned long long n = std::strtoull(v->c_str(), &end, 10);
        return end && *end == 0 ? n : fallback;
    };
    rom_mode = num("vnd.rom", rom_mode) != 0;
    firmware_mode = static_cast<uint32_t>(num("vnd.fw_mode", firmware_mode) & 3);
    spare_blocks_kept = num("vnd.spare_kept", spare_blocks_kept) != 0;
    thin_bytes = num("vnd.thin_bytes", thin_bytes);
    not_ready_reads = static_cast<uint32_t>(num("vnd.not_ready_reads", not_ready_reads));
    brand_new_count = static_cast<uint32_t>(num("vnd.brand_new", brand_new_count));
    ddr_trainings = static_cast<uint32_t>(num("vnd.ddr_trainings", ddr_trainings));
    if (const std::string* v = text("vnd.fw_config")) {
        auto bytes = from_hex(*v);
        if (bytes.size() == kVendorRecordBytes) fw_config = std::move(bytes);
    }
    const std::string *model = text("vnd.id.model"), *serial = text("vnd.id.serial"),
                      *firmware = text("vnd.id.firmware");
    if (model && serial && firmware) identity = VendorIdentity{*model, *serial, *firmware};
    if (const std::string* v = text("vnd.pcie_data")) {
        auto bytes = from_hex(*v);
        if (bytes.size() == kVendorRecordBytes) pcie_data = std::move(bytes);
    }
    if (const std::string* v = text("vnd.events")) events = events_of(*v);
    vendor_mode = num("vnd.vendor_mode", vendor_mode) != 0;
}

void SimVendorState::forget_volatile() {
    vendor_mode = false;
    vpd_armed = false;
    pcie_write_armed = false;
    crash_chunk = 0;
}

}  // namespace tb::sim
