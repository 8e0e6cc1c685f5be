#include "platform/sim/sim_config.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "common/ini_file.h"
#include "common/text.h"
#include "platform/disk_device.h"

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

std::string strip_comment(const std::string& v) {
    for (size_t i = 0; i < v.size(); ++i) {
        if ((v[i] == ';' || v[i] == '#') && (i == 0 || v[i - 1] == ' ' || v[i - 1] == '\t'))
            return trim(v.substr(0, i));
    }
    return trim(v);
}

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
    if (auto n = parse_uint(t)) return static_cast<int>(*n);
    return std::nullopt;
}

// "C", "C:12GiB", "C:12GiB:5GiB", "C:12GiB:5GiB:unaligned".
std::optional<VolumeConfig> parse_volume(const std::string& item) {
    auto parts = split(item, ':');
    if (parts.empty() || parts[0].size() != 1) return std::nullopt;
    VolumeConfig v;
    v.letter = ascii_upper(parts[0][0]);
    if (v.letter < 'C' || v.letter > 'Z') return std::nullopt;
    if (parts.size() > 1 && !parts[1].empty()) {
        auto s = parse_size(parts[1]);
        if (!s) return std::nullopt;
        v.total_bytes = *s;
    }
    if (parts.size() > 2 && !parts[2].empty()) {
        auto s = parse_size(parts[2]);
        if (!s) return std::nullopt;
        v.free_bytes = *s;
    }
    if (parts.size() > 3) v.aligned_4k = !iequals(parts[3], "unaligned");
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

void fill_defaults(DiskConfig& d) {
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
    if (d.fw_slots < 1) d.fw_slots = 1;
    if (d.fw_slots > 7) d.fw_slots = 7;
    // Volumes without sizes share what the sized ones leave.
    uint64_t used = 0;
    int unsized = 0;
    for (auto& v : d.volumes) {
        if (v.total_bytes) used += v.total_bytes;
        else ++unsized;
    }
    uint64_t rest = d.capacity_bytes > used + (1 << 20) ? d.capacity_bytes - used - (1 << 20) : 0;
    for (auto& v : d.volumes) {
        if (!v.total_bytes) v.total_bytes = unsized ? rest / unsized / 4096 * 4096 : 0;
        if (!v.free_bytes) v.free_bytes = v.total_bytes / 2 / 4096 * 4096;
        if (v.free_bytes > v.total_bytes) v.free_bytes = v.total_bytes;
    }
}

bool apply_key(DiskConfig& d, const std::string& key, const std::string& value, std::string& error) {
    auto bad = [&] {
        error = "bad value for " + key + ": " + value;
        return false;
    };
    auto num = [&](auto& field) {
        auto v = parse_uint(value);
        if (!v) return bad();
        field = static_cast<std::remove_reference_t<decltype(field)>>(*v);
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
    if (k == "inner") return true;  // follows from the bridge
    if (k == "model") { d.model = value; return true; }
    if (k == "serial") { d.serial = value; return true; }
    if (k == "firmware") { d.firmware = value.substr(0, 8); return true; }
    if (k == "capacity") {
        auto s = parse_size(value, d.sector_size);
        if (!s || *s < 1 << 20) return bad();
        d.capacity_bytes = *s;
        return true;
    }
    if (k == "sectors") {
        auto v = parse_uint(value);
        if (!v || *v < 2048) return bad();
        d.capacity_bytes = *v * d.sector_size;
        return true;
    }
    if (k == "sector_size") {
        auto v = parse_uint(value);
        if (!v || (*v != 512 && *v != 4096)) return bad();
        d.sector_size = static_cast<uint32_t>(*v);
        return true;
    }
    if (k == "volumes") {
        d.volumes.clear();
        for (const auto& w : words(value)) {
            auto v = parse_volume(w);
            if (!v) return bad();
            d.volumes.push_back(*v);
        }
        std::sort(d.volumes.begin(), d.volumes.end(),
                  [](const VolumeConfig& a, const VolumeConfig& b) { return a.letter < b.letter; });
        return true;
    }
    if (k == "service") { d.service = value; return true; }
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
    if (k == "scsi_port") return num(d.scsi_port);
    if (k == "path_id") return num(d.path_id);
    if (k == "target") return num(d.target);
    if (k == "lun") return num(d.lun);
    if (k == "write_cache") return flag(d.write_cache);
    if (k == "cache_size") {
        auto s = parse_size(value);
        if (!s) return bad();
        d.cache_size = *s;
        return true;
    }
    if (k == "vid") return num(d.vid);
    if (k == "ssvid") return num(d.ssvid);
    if (k == "fw_slots") return num(d.fw_slots);
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
    if (k == "power_on_hours") return num(d.power_on_hours);
    if (k == "power_cycles") return num(d.power_cycles);
    if (k == "unsafe_shutdowns") return num(d.unsafe_shutdowns);
    if (k == "temperature") return num(d.temperature_c);
    if (k == "security_frozen") return flag(d.security_frozen);
    if (k == "bridge_signature") return flag(d.bridge_signature);
    if (k == "signature") return num(d.signature);
    if (k == "present") return flag(d.present);
    if (k == "file") { d.file = value; return true; }
    if (k == "pattern_images") return flag(d.pattern_images);
    error = "unknown key " + key;
    return false;
}

}  // namespace

const char* bridge_kind_name(BridgeKind k) {
    switch (k) {
        case BridgeKind::None: return "none";
        case BridgeKind::JMicron: return "jmicron";
        case BridgeKind::Asm2362: return "asm2362";
        case BridgeKind::Asm2364: return "asm2364";
        case BridgeKind::Rtl9210B: return "rtl9210b";
        case BridgeKind::Rtl9210: return "rtl9210";
        case BridgeKind::UsbSata: return "usb-sata";
        case BridgeKind::Flash: return "flash";
    }
    return "?";
}

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
    if (unit.empty() || unit == "b") return *n;
    if (unit == "k" || unit == "kib") return *n << 10;
    if (unit == "m" || unit == "mib") return *n << 20;
    if (unit == "g" || unit == "gib") return *n << 30;
    if (unit == "t" || unit == "tib") return *n << 40;
    if (unit == "kb") return *n * 1000;
    if (unit == "mb") return *n * 1000000;
    if (unit == "gb") {  // the IDEMA LBA count of that many GB
        if (sector_size == 4096) return (2646 + 244188ull * *n) * 4096;
        return (21168 + 1953504ull * *n) * 512;
    }
    if (unit == "tb") return *n * 1000000000000ull;
    return std::nullopt;
}

std::string default_sim_folder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/tamblor-sim-" + std::to_string(::getuid());
}

std::optional<SimConfig> parse_sim_config(const std::string& text, std::string* error) {
    IniFile ini;
    ini.parse(text);
    SimConfig cfg;
    std::string err;
    std::set<uint32_t> numbers;
    for (const auto& section : ini.sections()) {
        std::string s = to_lower(trim(section));
        if (s == "machine") {
            for (const auto& key : ini.keys(section)) {
                if (key.empty() || key[0] == '#' || key[0] == ';') continue;
                std::string v = strip_comment(ini.get(section, key).value_or(""));
                if (iequals(key, "folder")) cfg.folder = v;
                else if (iequals(key, "persist")) {
                    auto b = parse_bool(v);
                    if (!b) err = "bad value for persist: " + v;
                    else cfg.persist = *b;
                } else {
                    err = "unknown key " + key;
                }
                if (!err.empty()) break;
            }
        } else if (s.rfind("disk", 0) == 0) {
            auto n = parse_uint(trim(s.substr(4)));
            if (!n || *n > 63) err = "bad section [" + section + "]";
            else if (!numbers.insert(static_cast<uint32_t>(*n)).second) err = "disk " + std::to_string(*n) + " twice";
            if (err.empty()) {
                DiskConfig d;
                d.number = static_cast<uint32_t>(*n);
                // The sector size first: sizes in GB depend on it.
                if (auto ss = ini.get(section, "sector_size")) apply_key(d, "sector_size", strip_comment(*ss), err);
                for (const auto& key : ini.keys(section)) {
                    if (!err.empty()) break;
                    if (key.empty() || key[0] == '#' || key[0] == ';') continue;
                    apply_key(d, key, strip_comment(ini.get(section, key).value_or("")), err);
                }
                if (err.empty() && d.type == DiskType::Usb && d.bridge == BridgeKind::None)
                    err = "disk " + std::to_string(d.number) + ": a usb disk needs a bridge";
                if (err.empty()) {
                    if (d.type != DiskType::Usb) d.bridge = BridgeKind::None;
                    fill_defaults(d);
                    cfg.disks.push_back(std::move(d));
                }
            }
        } else if (!s.empty()) {
            err = "unknown section [" + section + "]";
        }
        if (!err.empty()) break;
    }
    if (!err.empty()) {
        if (error) *error = err;
        return std::nullopt;
    }
    if (cfg.folder.empty()) cfg.folder = default_sim_folder();
    std::sort(cfg.disks.begin(), cfg.disks.end(),
              [](const DiskConfig& a, const DiskConfig& b) { return a.number < b.number; });
    return cfg;
}

std::optional<SimConfig> load_sim_config(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse_sim_config(text, error);
}

const char* default_sim_config_text() { return kDefaultConfig; }

SimConfig default_sim_config() { return *parse_sim_config(kDefaultConfig); }

}  // namespace tb::sim
