#include "platform/sim/sim_power_config.h"

#include <cstdlib>

#include "common/text.h"

namespace tb::sim {

namespace {

bool whole_number(const std::string& text, uint32_t highest, uint32_t& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
    if (v > highest) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool port_name(const std::string& text) { return text.size() > 3 && iequals(text.substr(0, 3), "COM"); }

}  // namespace

bool parse_power_feed(const std::string& value, PowerFeed& out, std::string& reason) {
    const std::string v = to_lower(trim(value));
    if (v == "none") {
        out.source = FeedSource::None;
        return true;
    }
    if (v == "relay") {
        out.source = FeedSource::Relay;
        return true;
    }
    uint32_t port = 0;
    if (v.rfind("hub:", 0) == 0 && whole_number(v.substr(4), 255, port) && port > 0) {
        out.source = FeedSource::Hub;
        out.hub_port = port;
        return true;
    }
    reason = "power must be hub:<port 1-255>, relay or none, not " + value;
    return false;
}

bool read_hub_section(const IniSection& section, SimHubConfig& out, int& line, std::string& reason) {
    for (const auto& e : section.entries) {
        line = e.line;
        if (iequals(e.key, "port")) {
            if (!port_name(e.value)) {
                reason = "port must be a COM<n> name, not " + e.value;
                return false;
            }
            out.port = e.value;
        } else if (iequals(e.key, "kind")) {
            uint32_t kind = 0;
            if (!whole_number(e.value, 5, kind) || kind == 1 || kind == 4) {
                reason = "kind must be 0, 2, 3 or 5, not " + e.value;
                return false;
            }
            out.kind = static_cast<int>(kind);
        } else if (iequals(e.key, "present")) {
            if (e.value != "0" && e.value != "1") {
                reason = "present must be 0 or 1, not " + e.value;
                return false;
            }
            out.present = e.value == "1";
        } else {
            reason = "unknown key " + e.key + " in [hub]";
            return false;
        }
    }
    return true;
}

bool read_relay_section(const IniSection& section, SimRelayConfig& out, int& line, std::string& reason) {
    out.present = true;
    for (const auto& e : section.entries) {
        line = e.line;
        if (iequals(e.key, "serial") && !e.value.empty() && e.value.size() <= 128) {
            out.serial = e.value;
        } else if (iequals(e.key, "serial")) {
            reason = "serial must be 1 to 128 characters";
            return false;
        } else {
            reason = "unknown key " + e.key + " in [relay]";
            return false;
        }
    }
    return true;
}

}  // namespace tb::sim
