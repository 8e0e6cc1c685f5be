#include "platform/sim/sim_config.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "common/text.h"
#include "platform/disk_device.h"
#include "platform/host/temp_folder.h"
#include "platform/host/user_identity.h"
#include "platform/sim/host_path.h"
#include "platform/sim/sim_ini_lines.h"
#include "platform/sim/sim_volume_images.h"

namespace tb::sim {

namespace {

const char kDefaultConfig[] = R"INI(; The built-in simulated machine.
[machine]
persist = 1

; The system disk: SATA on the AHCI controller, carries C: and D:.
[disk0]
type = sata
model = TAMBLOR SIM SATA SSD 16GB
serial = SIMS00000000000000A0
firmware = SA10.0A0
capacity = 16GB
volumes = C:12GiB:5GiB D:2GiB:1GiB
scsi_port = 0
path_id = 0

; A raw NVMe SSD on the inbox driver, PCIe 02:00.0.
[disk1]
type = nvme
model = TAMBLOR SIM NVMe SSD 8GB
serial = SIMN00000000000000B1
firmware = NV1.0.B1
capacity = 8GB
pci = 2:0.0
scsi_port = 1

; An NVMe SSD behind an ASM2362 USB bridge on host controller 1, port 3.
[disk2]
type = usb
bridge = asm2362
model = TAMBLOR SIM NVMe SSD 4GB
serial = SIMN00000000000000C2
firmware = NV1.0.C2
capacity = 4GB
usb = 1.3
scsi_port = 2

; A SATA SSD behind a USB-SATA bridge on host controller 1, hub port 4, port 2.
[disk3]
type = usb
bridge = usb-sata
model = TAMBLOR SIM SATA SSD 4GB
serial = SIMS00000000000000D3
firmware = SA10.0D3
capacity = 4GB
usb = 1.4.2
scsi_port = 3
)INI";

// The largest disk or volume the machine takes (and a file can have).
constexpr uint64_t kMaxBytes = 1ull << 60;
// What the machine keeps free in front of the volumes.
constexpr uint64_t kVolumeGap = 1ull << 20;

std::optional<uint64_t> parse_uint(const std::string& text) {
    std::string t = trim(text);
    if (t.empty()) return std::nullopt;
    int base = 10;
    size_t start = 0;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        start = 2;
    }
    uint64_t v = 0;
    for (size_t i = start; i < t.size(); ++i) {
        char c = ascii_lower(t[i]);
        int d = c >= '0' && c <= '9' ? c - '0' : (base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
        if (d < 0) return std::nullopt;
        if (v > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return std::nullopt;
        v = v * base + static_cast<uint64_t>(d);
    }
    return v;
}

std::optional<bool> parse_bool(const std::string& text) {
    std::string t = to_lower(trim(text));
    if (t == "1" || t == "yes" || t == "true" || t == "on") return true;
    if (t == "0" || t == "no" || t == "false" || t == "off") return false;
    return std::nullopt;
}

std::optional<BridgeKind> parse_bridge(const std::string& text) {
    std::string t = to_lower(trim(text));
    if (t == "jmicron" || t == "jmi" || t == "jms583") return BridgeKind::JMicron;
    if (t == "asm2362") return BridgeKind::Asm2362;
    if (t == "asm2364") return BridgeKind::Asm2364;
    if (t == "rtl9210b") return BridgeKind::Rtl9210B;
    if (t == "rtl9210") return BridgeKind::Rtl9210;
    if (t == "usb-sata" || t == "usbsata" || t == "sata") return BridgeKind::UsbSata;
    if (t == "flash" || t == "none") return BridgeKind::Flash;
    return std::nullopt;
}

std::optional<int> parse_bus(const std::string& text) {
    std::string t = to_lower(trim(text));
    if (t == "sata") return kBusSata;
    if (t == "sas") return kBusSas;
    if (t == "usb") return kBusUsb;
    if (t == "nvme") return kBusNvme;
    if (t == "raid") return kBusRaid;
    if (t == "scsi") return kBusScsi;
    if (t == "ata") return kBusAta;
    if (auto n = parse_uint(t); n && *n <= 255) return static_cast<int>(*n);
    return std::nullopt;
}

// "C", "C:12GiB", "C:12GiB:5GiB", "C:12GiB:5GiB:unaligned".
std::optional<VolumeConfig> parse_volume(const std::string& item, std::string& reason) {
    auto parts = split(item, ':');
    auto bad = [&](const std::string& why) -> std::optional<VolumeConfig> {
        reason = "volumes: " + item + ": " + why;
        return std::nullopt;
    };
    if (parts.empty() || parts[0].size() != 1) return bad("a volume starts with its drive letter");
    if (parts.size() > 4) return bad("letter[:total[:free[:unaligned]]]");
    VolumeConfig v;
    v.letter = ascii_upper(parts[0][0]);
    if (v.letter < 'C' || v.letter > 'Z') return bad("the drive letter is one of C to Z");
    if (parts.size() > 1 && !parts[1].empty()) {
        auto s = parse_size(parts[1]);
        if (!s || *s == 0 || *s > kMaxBytes) return bad("bad total size");
        v.total_bytes = *s;
    }
    if (parts.size() > 2 && !parts[2].empty()) {
        auto s = parse_size(parts[2]);
        if (!s || *s > kMaxBytes) return bad("bad free size");
        if (v.total_bytes && *s > v.total_bytes) return bad("more free space than the volume holds");
        v.free_bytes = *s;
    }
    if (parts.size() > 3) {
        if (iequals(parts[3], "unaligned")) v.aligned_4k = false;
        else if (!iequals(parts[3], "aligned")) return bad("the last part is aligned or unaligned");
    }
    return v;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

// Fills what the disk's section left out; false with the reason when the
// volumes do not fit on the disk.
bool fill_defaults(DiskConfig& d, std::string& error) {
    bool nvme = d.inner() == InnerKind::Nvme;
    std::string n = std::to_string(d.number);
    if (d.model.empty()) {
        if (d.bridge == BridgeKind::Flash) d.model = "TAMBLOR SIM FLASH DRIVE";
        else d.model = nvme ? "TAMBLOR SIM NVMe SSD" : "TAMBLOR SIM SATA SSD";
    }
    if (d.serial.empty()) {
        std::string s = (nvme ? "SIMN" : "SIMS") + std::string(16 - std::min<size_t>(16, n.size()), '0') + n;
        d.serial = s;
    }
    if (d.firmware.empty()) d.firmware = nvme ? "NV1.0.00" : "SA10.000";
    if (d.capacity_bytes == 0) d.capacity_bytes = *parse_size("4GB", d.sector_size);
    if (d.scsi_port < 0) d.scsi_port = static_cast<int>(d.number);
    if (d.type == DiskType::Nvme && d.pci_bus == 0 && d.pci_device == 0 && d.pci_function == 0) d.pci_bus = 1 + d.number;
    if (d.type == DiskType::Usb && d.usb_path.empty()) d.usb_path = {1, 1 + d.number % 99};
    // Volumes without sizes share what the sized ones leave.
    uint64_t used = 0;  // each total is at most kMaxBytes, so the sum cannot wrap
    uint64_t unsized = 0;
    for (auto& v : d.volumes) {
        if (v.total_bytes) used += v.total_bytes;
        else ++unsized;
    }
    uint64_t room = d.capacity_bytes > kVolumeGap ? d.capacity_bytes - kVolumeGap : 0;
    if (used > room) {
        error = "volumes of disk " + std::to_string(d.number) + " need " + std::to_string(used) +
                " bytes, larger than the " + std::to_string(room) + " the disk has for them";
        return false;
    }
    uint64_t share = unsized ? (room - used) / unsized / 4096 * 4096 : 0;
    for (auto& v : d.volumes) {
        if (!v.total_bytes) {
            if (share == 0) {
                error = "volumes: no room left on disk " + std::to_string(d.number) + " for volume " + v.letter + ":";
                return false;
            }
            v.total_bytes = share;
        }
        if (!v.free_bytes) v.free_bytes = v.total_bytes / 2 / 4096 * 4096;
        if (v.free_bytes > v.total_bytes) {
            error = std::string("volumes: volume ") + v.letter + ": has more free space than it holds";
            return false;
        }
    }
    return true;
}

bool apply_key(DiskConfig& d, const std::string& key, const std::string& value, int line, std::string& error) {
    auto bad = [&] {
        error = "bad value for " + key + ": " + value;
        return false;
    };
    auto num = [&](auto& field, uint64_t low, uint64_t high) {
        auto v = parse_uint(value);
        if (!v || *v < low || *v > high) {
            error = key + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                    value;
            return false;
        }
        field = static_cast<std::remove_reference_t<decltype(field)>>(*v);
        return true;
    };
    auto text = [&](std::string& field, size_t longest) {
        if (value.size() > longest) {
            error = key + " is at most " + std::to_string(longest) + " characters";
            return false;
        }
        field = value;
        return true;
    };
    auto flag = [&](bool& field) {
        auto v = parse_bool(value);
        if (!v) return bad();
        field = *v;
        return true;
    };
    std::string k = to_lower(key);
    if (k == "type") {
        std::string t = to_lower(value);
        if (t == "sata" || t == "ata") d.type = DiskType::Sata;
        else if (t == "nvme") d.type = DiskType::Nvme;
        else if (t == "usb") d.type = DiskType::Usb;
        else return bad();
        return true;
    }
    if (k == "bridge") {
        auto b = parse_bridge(value);
        if (!b) return bad();
        d.bridge = *b;
        return true;
    }
    if (k == "inner") {  // follows from the bridge; checked against it once the section is read
        std::string t = to_lower(value);
        if (t != "ata" && t != "sata" && t != "nvme" && t != "block" && t != "flash") return bad();
        return true;
    }
    if (k == "model") return text(d.model, 40);
    if (k == "serial") return text(d.serial, 20);
    if (k == "firmware") return text(d.firmware, 8);
    if (k == "capacity") {
        auto s = parse_size(value, d.sector_size);
        if (!s || *s < 1 << 20 || *s > kMaxBytes) {
            error = "capacity must be a size from 1MiB to 1EiB, not " + value;
            return false;
        }
        d.capacity_bytes = *s;
        return true;
    }
    if (k == "sectors") {
        auto v = parse_uint(value);
        if (!v || *v < 2048 || *v > kMaxBytes / d.sector_size) {
            error = "sectors must be a number from 2048 to " + std::to_string(kMaxBytes / d.sector_size) + ", not " +
                    value;
            return false;
        }
        d.capacity_bytes = *v * d.sector_size;
        return true;
    }
    if (k == "sector_size") {
        auto v = parse_uint(value);
        if (!v || (*v != 512 && *v != 4096)) {
            error = "sector_size must be 512 or 4096";
            return false;
        }
        d.sector_size = static_cast<uint32_t>(*v);
        return true;
    }
    if (k == "volumes") {
        d.volumes.clear();
        for (const auto& w : words(value)) {
            auto v = parse_volume(w, error);
            if (!v) return false;
            for (const auto& other : d.volumes) {
                if (other.letter == v->letter) {
                    error = std::string("volumes: volume ") + v->letter + ": given twice";
                    return false;
                }
            }
            d.volumes.push_back(*v);
        }
        std::sort(d.volumes.begin(), d.volumes.end(),
                  [](const VolumeConfig& a, const VolumeConfig& b) { return a.letter < b.letter; });
        return true;
    }
    if (k == "volume_image") return parse_volume_image(value, line, d.volume_images, error);
    if (k == "service") return text(d.service, 64);
    if (k == "bus") {
        auto b = parse_bus(value);
        if (!b) return bad();
        d.bus_override = *b;
        return true;
    }
    if (k == "pci") {  // bus:device.function
        size_t colon = value.find(':'), dot = value.find('.');
        if (colon == std::string::npos || dot == std::string::npos || dot < colon) return bad();
        auto b = parse_uint(value.substr(0, colon));
        auto dv = parse_uint(value.substr(colon + 1, dot - colon - 1));
        auto f = parse_uint(value.substr(dot + 1));
        if (!b || !dv || !f || *b > 255 || *dv > 31 || *f > 7) return bad();
        d.pci_bus = static_cast<uint32_t>(*b);
        d.pci_device = static_cast<uint32_t>(*dv);
        d.pci_function = static_cast<uint32_t>(*f);
        return true;
    }
    if (k == "usb") {
        d.usb_path.clear();
        for (const auto& p : split(value, '.')) {
            auto v = parse_uint(p);
            if (!v || *v == 0 || *v > 99) return bad();
            d.usb_path.push_back(static_cast<uint32_t>(*v));
        }
        if (d.usb_path.size() < 2 || d.usb_path.size() > 4) return bad();
        return true;
    }
    if (k == "scsi_port") return num(d.scsi_port, 0, 255);
    if (k == "path_id") return num(d.path_id, 0, 255);
    if (k == "target") return num(d.target, 0, 255);
    if (k == "lun") return num(d.lun, 0, 255);
    if (k == "write_cache") return flag(d.write_cache);
    if (k == "cache_size") {
        auto s = parse_size(value);
        if (!s || *s > kMaxBytes) return bad();
        d.cache_size = *s;
        return true;
    }
    if (k == "vid") return num(d.vid, 0, 0xFFFF);
    if (k == "ssvid") return num(d.ssvid, 0, 0xFFFF);
    if (k == "fw_slots") return num(d.fw_slots, 1, 7);
    if (k == "slot1_readonly") return flag(d.slot1_readonly);
    if (k == "activate_without_reset") return flag(d.activate_without_reset);
    if (k == "vendor_log") {
        d.vendor_logs.clear();
        for (const auto& w : words(value)) {
            auto v = parse_uint(w);
            if (!v || *v > 255) return bad();
            d.vendor_logs.push_back(static_cast<uint8_t>(*v));
        }
        return true;
    }
    if (k == "power_on_hours") return num(d.power_on_hours, 0, UINT32_MAX);
    if (k == "power_cycles") return num(d.power_cycles, 0, UINT32_MAX);
    if (k == "unsafe_shutdowns") return num(d.unsafe_shutdowns, 0, UINT32_MAX);
    if (k == "temperature") return num(d.temperature_c, 0, 125);
    if (k == "security_frozen") return flag(d.security_frozen);
    if (k == "trim") return flag(d.trim);
    if (k == "bridge_signature") return flag(d.bridge_signature);
    if (k == "signature") return num(d.signature, 0, 0xFFFF);
    if (k == "present") return flag(d.present);
    if (k == "reconnect") return flag(d.reconnect);
    if (k == "file") { d.file = value; return true; }
    if (k == "pattern_images") return flag(d.pattern_images);
    if (k == "power") return parse_power_feed(value, d.power_feed, error);
    if (FaultKind kind; fault_kind_of_key(k, kind)) return parse_fault_rules(kind, value, line, d.fault_rules, error);
    if (k == "fault_seed") return num(d.fault_seed, 0, UINT64_MAX);
    if (k == "power_loss_after_writes") return num(d.power_loss.after_writes, 1, UINT32_MAX);
    if (k == "power_loss_at_ms") return num(d.power_loss.at_ms, 1, 1ull << 40);
    if (k == "power_loss_unflushed") {
        std::string t = to_lower(value);
        if (t != "lost" && t != "random") {
            error = "power_loss_unflushed is lost or random, not " + value;
            return false;
        }
        d.power_loss.random_subset = t == "random";
        return true;
    }
    if (auto vendor = apply_vendor_key(d.vendor, k, value, error)) return *vendor;
    error = "unknown key " + key;
    return false;
}

}  // namespace

InnerKind DiskConfig::inner() const {
    switch (type) {
        case DiskType::Sata: return InnerKind::Ata;
        case DiskType::Nvme: return InnerKind::Nvme;
        case DiskType::Usb: break;
    }
    switch (bridge) {
        case BridgeKind::UsbSata: return InnerKind::Ata;
        case BridgeKind::Flash:
        case BridgeKind::None: return InnerKind::Block;
        default: return InnerKind::Nvme;
    }
}

std::optional<uint64_t> parse_size(const std::string& text, uint32_t sector_size) {
    std::string t = trim(text);
    size_t i = 0;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        i = 2;
        while (i < t.size() && std::isxdigit(static_cast<unsigned char>(t[i]))) ++i;
    } else {
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
    }
    auto n = parse_uint(t.substr(0, i));
    if (!n) return std::nullopt;
    std::string unit = to_lower(trim(t.substr(i)));
    auto times = [&](uint64_t factor) -> std::optional<uint64_t> {
        uint64_t out;
        if (__builtin_mul_overflow(*n, factor, &out)) return std::nullopt;
        return out;
    };
    if (unit.empty() || unit == "b") return *n;
    if (unit == "k" || unit == "kib") return times(1ull << 10);
    if (unit == "m" || unit == "mib") return times(1ull << 20);
    if (unit == "g" || unit == "gib") return times(1ull << 30);
    if (unit == "t" || unit == "tib") return times(1ull << 40);
    if (unit == "kb") return times(1000);
    if (unit == "mb") return times(1000000);
    if (unit == "gb") {  // the IDEMA LBA count of that many GB
        const bool large = sector_size == 4096;
        uint64_t lbas;
        if (__builtin_mul_overflow(*n, large ? 244188ull : 1953504ull, &lbas) ||
            __builtin_add_overflow(lbas, large ? 2646ull : 21168ull, &lbas) ||
            __builtin_mul_overflow(lbas, large ? 4096ull : 512ull, &lbas))
            return std::nullopt;
        return lbas;
    }
    if (unit == "tb") return times(1000000000000ull);
    return std::nullopt;
}

std::string default_sim_folder() {
    // Written with forward slashes on every system, as the program's other
    // folders are shown.
    const std::u8string generic = host::temp_folder().generic_u8string();
    std::string base(generic.begin(), generic.end());
    while (base.size() > 1 && is_path_separator(base.back())) base.pop_back();
    return base + "/tamblor-sim-" + host::user_tag();
}

namespace {

// Where a reason belongs: "file:line: reason".
struct ConfigError {
    int line = 0;
    std::string reason;
};

int line_of(const IniSection& section, const char* key) {
    for (const auto& e : section.entries) {
        if (iequals(e.key, key)) return e.line;
    }
    return section.line;
}

bool read_machine_section(const IniSection& section, SimConfig& cfg, ConfigError& err) {
    for (const auto& e : section.entries) {
        if (iequals(e.key, "folder")) {
            cfg.folder = e.value;
            cfg.folder_line = e.line;
        } else if (iequals(e.key, "persist")) {
            auto b = parse_bool(e.value);
            if (!b) {
                err = {e.line, "persist must be 0 or 1, not " + e.value};
                return false;
            }
            cfg.persist = *b;
        } else if (iequals(e.key, "numbering")) {
            if (!iequals(e.value, "fixed") && !iequals(e.value, "place")) {
                err = {e.line, "numbering must be fixed or place, not " + e.value};
                return false;
            }
            cfg.number_by_place = iequals(e.value, "place");
        } else {
            err = {e.line, "unknown key " + e.key + " in [machine]"};
            return false;
        }
    }
    return true;
}

// The checks that need the whole section.
bool check_disk(const DiskConfig& d, const IniSection& section, ConfigError& err) {
    std::string n = std::to_string(d.number);
    if (d.type == DiskType::Usb && d.bridge == BridgeKind::None) {
        err = {section.line, "disk " + n + ": a usb disk needs a bridge"};
        return false;
    }
    if (d.type != DiskType::Usb && d.bridge != BridgeKind::None) {
        err = {line_of(section, "bridge"), "disk " + n + ": a bridge is only for a usb disk"};
        return false;
    }
    if (std::string why, key; !vendor_fits_disk(d.vendor, d.inner() == InnerKind::Nvme, why, key)) {
        err = {line_of(section, key.c_str()), "disk " + n + ": " + why};
        return false;
    }
    for (const auto& e : section.entries) {
        if (!iequals(e.key, "inner")) continue;
        std::string t = to_lower(e.value);
        InnerKind named = t == "nvme" ? InnerKind::Nvme : (t == "ata" || t == "sata") ? InnerKind::Ata : InnerKind::Block;
        if (named != d.inner()) {
            err = {e.line, "disk " + n + ": inner " + e.value + " is not what its bridge holds"};
            return false;
        }
    }
    return true;
}

// Every fault range lies on the disk; a range without an end ends with it.
bool check_fault_ranges(DiskConfig& d, ConfigError& err) {
    const uint64_t sectors = d.capacity_bytes / 4096 * 4096 / d.sector_size;  // the medium is whole 4 KiB blocks
    for (auto& rule : d.fault_rules) {
        if (rule.last_lba == UINT64_MAX) {
            rule.last_lba = sectors - 1;
            continue;
        }
        if (rule.last_lba >= sectors) {
            err = {rule.line, std::string(fault_key(rule.kind)) + ": the range " + std::to_string(rule.first_lba) +
                                  "-" + std::to_string(rule.last_lba) + " goes past the last LBA of disk " +
                                  std::to_string(d.number) + " (" + std::to_string(sectors - 1) + ")"};
            return false;
        }
    }
    return true;
}

bool read_disk_section(const IniSection& section, uint32_t number, DiskConfig& d, ConfigError& err) {
    d.number = number;
    d.section_line = section.line;
    // The sector size first: sizes in GB depend on it.
    for (const auto& e : section.entries) {
        if (iequals(e.key, "sector_size") && !apply_key(d, e.key, e.value, e.line, err.reason)) {
            err.line = e.line;
            return false;
        }
    }
    for (const auto& e : section.entries) {
        if (!apply_key(d, e.key, e.value, e.line, err.reason)) {
            err.line = e.line;
            return false;
        }
        if (iequals(e.key, "file")) d.file_line = e.line;
        if (iequals(e.key, "volumes")) d.volumes_line = e.line;
    }
    if (!check_disk(d, section, err)) return false;
    if (!attach_volume_images(d, err.line, err.reason)) return false;
    fill_defaults(d, err.reason);
    if (!err.reason.empty()) {
        err.line = d.volumes_line ? d.volumes_line : section.line;
        return false;
    }
    return check_fault_ranges(d, err);
}

std::optional<SimConfig> parse_config(const std::string& text, ConfigError& err) {
    std::vector<IniSection> sections;
    IniLinesError lines_error;
    if (!read_ini_lines(text, sections, lines_error)) {
        err = {lines_error.line, lines_error.reason};
        return std::nullopt;
    }
    SimConfig cfg;
    bool machine_seen = false;
    std::map<uint32_t, int> disk_lines;  // disk number -> line of its section
    std::map<char, uint32_t> letters;    // drive letter -> disk number
    for (const auto& section : sections) {
        std::string s = to_lower(section.name);
        if (s == "machine") {
            if (machine_seen) {
                err = {section.line, "[machine] given twice"};
                return std::nullopt;
            }
            machine_seen = true;
            if (!read_machine_section(section, cfg, err)) return std::nullopt;
            continue;
        }
        if (s == "hub" || s == "relay") {
            const bool hub = s == "hub";
            err.line = section.line;
            if (!(hub ? read_hub_section(section, cfg.power.hub, err.line, err.reason)
                      : read_relay_section(section, cfg.power.relay, err.line, err.reason)))
                return std::nullopt;
            continue;
        }
        if (s.rfind("disk", 0) != 0) {
            err = {section.line, "unknown section [" + section.name + "]"};
            return std::nullopt;
        }
        auto n = parse_uint(trim(s.substr(4)));
        if (!n || *n > 63) {
            err = {section.line, "bad section [" + section.name + "]: disks are numbered 0 to 63"};
            return std::nullopt;
        }
        uint32_t number = static_cast<uint32_t>(*n);
        if (auto [it, fresh] = disk_lines.emplace(number, section.line); !fresh) {
            err = {section.line, "disk " + std::to_string(number) + " given twice (first on line " +
                                     std::to_string(it->second) + ")"};
            return std::nullopt;
        }
        DiskConfig d;
        if (!read_disk_section(section, number, d, err)) return std::nullopt;
        for (const auto& v : d.volumes) {
            if (auto [it, fresh] = letters.emplace(v.letter, number); !fresh) {
                err = {d.volumes_line, std::string("volumes: volume ") + v.letter + ": is on disk " +
                                           std::to_string(it->second) + " already"};
                return std::nullopt;
            }
        }
        cfg.disks.push_back(std::move(d));
    }
    if (cfg.folder.empty()) cfg.folder = default_sim_folder();
    std::sort(cfg.disks.begin(), cfg.disks.end(),
              [](const DiskConfig& a, const DiskConfig& b) { return a.number < b.number; });
    return cfg;
}

}  // namespace

std::string config_place(const SimConfig& config, int line) {
    if (config.source.empty()) return line > 0 ? "line " + std::to_string(line) + ": " : std::string();
    return config.source + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

std::optional<SimConfig> parse_sim_config(const std::string& text, std::string* error, const std::string& source) {
    ConfigError err;
    auto cfg = parse_config(text, err);
    if (!cfg) {
        SimConfig where;
        where.source = source;
        if (error) *error = config_place(where, err.line) + err.reason;
        return std::nullopt;
    }
    cfg->source = source;
    return cfg;
}

std::optional<SimConfig> load_sim_config(const std::string& path, std::string* error) {
    std::ifstream in(host_path(path), std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read the machine file " + path;
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse_sim_config(text, error, path);
}

const char* default_sim_config_text() { return kDefaultConfig; }

SimConfig default_sim_config() { return *parse_sim_config(kDefaultConfig); }

}  // namespace tb::sim
