#include "platform/linux/linux_discovery.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace tb::linuxdisk {

namespace fs = std::filesystem;

namespace {

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

template <typename T>
std::optional<T> parse_uint(std::string_view s, int base = 10) {
    if (base == 16 && (s.starts_with("0x") || s.starts_with("0X"))) s.remove_prefix(2);
    if (s.empty()) return std::nullopt;
    T v{};
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
}

// A sysfs attribute, trimmed; empty when missing.
std::string read_attr(const fs::path& p) {
    std::ifstream in(p);
    if (!in) return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return trim(ss.str());
}

std::string read_file(const std::string& p) {
    std::ifstream in(p);
    if (!in) return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

uint64_t read_u64(const fs::path& p, uint64_t fallback = 0) {
    return parse_uint<uint64_t>(read_attr(p)).value_or(fallback);
}

std::string canon_path(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::canonical(p, ec);
    return ec ? std::string() : c.string();
}

bool path_exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

// Entry names of a folder, sorted; empty when it cannot be read.
std::vector<std::string> list_dir(const fs::path& p) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The name a symlink such as "driver" points at ("ahci"); empty when none.
std::string link_target_name(const fs::path& link) {
    std::string c = canon_path(link);
    return c.empty() ? std::string() : fs::path(c).filename().string();
}

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> out;
    for (const auto& part : fs::path(path)) {
        std::string s = part.string();
        if (!s.empty() && s != "/") out.push_back(s);
    }
    return out;
}

bool is_pci_slot(std::string_view s) {
    // dddd:bb:dd.f
    if (s.size() != 12 || s[4] != ':' || s[7] != ':' || s[10] != '.') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11})
        if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// "1-3", "2-1.4": a USB device (not a root bus, not an interface).
bool is_usb_device_name(std::string_view s) {
    size_t dash = s.find('-');
    if (dash == std::string_view::npos || !all_digits(s.substr(0, dash))) return false;
    std::string_view ports = s.substr(dash + 1);
    if (ports.empty() || ports.front() == '.' || ports.back() == '.') return false;
    return std::all_of(ports.begin(), ports.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// "1-3:1.0": a USB interface.
bool is_usb_interface_name(std::string_view s) {
    size_t colon = s.find(':');
    return colon != std::string_view::npos && is_usb_device_name(s.substr(0, colon));
}

bool has_prefix_number(std::string_view s, std::string_view prefix) {
    return s.starts_with(prefix) && all_digits(s.substr(prefix.size()));
}

// Nearest folder at or above `path` whose name satisfies `pred`; empty when none.
template <typename Pred>
std::string nearest_ancestor(const std::string& path, Pred pred) {
    fs::path p(path);
    while (!p.empty() && p != p.root_path()) {
        if (pred(p.filename().string())) return p.string();
        p = p.parent_path();
    }
    return {};
}

uint32_t bus_type_of(Transport t) {
    switch (t) {
        case Transport::Nvme: return kBusNvme;
        case Transport::Sata: return kBusSata;
        case Transport::Usb: return kBusUsb;
        case Transport::Sas: return kBusSas;
        case Transport::Iscsi: return kBusIscsi;
        case Transport::Scsi: return kBusScsi;
        case Transport::Ide: return kBusAta;
        case Transport::VirtioBlk:
        case Transport::Unknown: return kBusUnknown;
    }
    return kBusUnknown;
}

std::string pci_class_name(const fs::path& pci) {
    uint32_t cls = parse_uint<uint32_t>(read_attr(pci / "class"), 16).value_or(0);
    std::string name;
    switch (cls >> 8) {
        case 0x0108: name = "NVM Express Controller"; break;
        case 0x0106: name = (cls & 0xFF) == 0x01 ? "SATA AHCI Controller" : "SATA Controller"; break;
        case 0x0107: name = "SAS Controller"; break;
        case 0x0104: name = "RAID Controller"; break;
        case 0x0101: name = "IDE Controller"; break;
        case 0x0100: name = "SCSI Controller"; break;
        case 0x0C03: name = "USB Host Controller"; break;
        default: name = (cls >> 16) == 0x01 ? "Storage Controller" : "PCI Device"; break;
    }
    std::string vendor = read_attr(pci / "vendor"), device = read_attr(pci / "device");
    auto hex4 = [](std::string v) {
        if (v.starts_with("0x")) v.erase(0, 2);
        return v;
    };
    if (!vendor.empty() && !device.empty()) name += " [" + hex4(vendor) + ":" + hex4(device) + "]";
    return name;
}

std::string module_version(const fs::path& driver_link) {
    if (!path_exists(driver_link / "module")) return {};
    return read_attr(fs::path(canon_path(driver_link / "module")) / "version");
}

// The NVMe controller ("nvme0") behind a namespace block device. Without
// native multipath the block device's parent is the controller; with it the
// parent is the subsystem and the controller paths are listed under
// "multipath".
std::string nvme_controller_of(const fs::path& block, const std::string& name) {
    fs::path parent = canon_path(block / "device");
    if (!parent.empty() && path_exists(parent / "transport")) return parent.filename().string();
    for (const auto& path : list_dir(block / "multipath")) {  // nvme<C>c<P>n<N>
        size_t c = path.find('c', 4);
        if (path.starts_with("nvme") && c != std::string::npos && all_digits(path.substr(4, c - 4)))
            return path.substr(0, c);
    }
    if (!parent.empty())
        for (const auto& entry : list_dir(parent))
            if (has_prefix_number(entry, "nvme")) return entry;
    size_t n = name.find('n', 4);
    return name.substr(0, n);
}

void read_partitions(LinuxDisk& d) {
    fs::path block(d.sysfs_path);
    LinuxPartition whole;
    whole.name = d.name;
    std::string devno = read_attr(block / "dev");
    if (size_t colon = devno.find(':'); colon != std::string::npos) {
        whole.major = parse_uint<uint32_t>(devno.substr(0, colon)).value_or(0);
        whole.minor = parse_uint<uint32_t>(devno.substr(colon + 1)).value_or(0);
    }
    d.partitions.push_back(whole);
    std::vector<LinuxPartition> parts;
    for (const auto& entry : list_dir(block)) {
        fs::path p = block / entry;
        if (!path_exists(p / "partition")) continue;
        LinuxPartition part;
        part.name = entry;
        part.number = static_cast<uint32_t>(read_u64(p / "partition"));
        part.start_sector = read_u64(p / "start");
        std::string dn = read_attr(p / "dev");
        if (size_t colon = dn.find(':'); colon != std::string::npos) {
            part.major = parse_uint<uint32_t>(dn.substr(0, colon)).value_or(0);
            part.minor = parse_uint<uint32_t>(dn.substr(colon + 1)).value_or(0);
        }
        parts.push_back(part);
    }
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    d.partitions.insert(d.partitions.end(), parts.begin(), parts.end());
    // A partition table, or a device-mapper, RAID or bcache holder of the
    // disk or of one of its partitions, means the disk is in use.
    bool held = !list_dir(block / "holders").empty();
    for (const auto& part : parts) held = held || !list_dir(block / part.name / "holders").empty();
    d.info.in_use = !parts.empty() || held;
}

// Active swap areas (/proc/swaps) on a disk or its partitions mark it in use.
void mark_swap(std::vector<LinuxDisk>& disks, const SystemRoots& roots) {
    std::ifstream in(roots.swaps);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::string dev = line.substr(0, line.find_first_of(" \t"));
        if (!dev.starts_with("/dev/")) continue;
        std::string name = dev.substr(5);
        for (auto& d : disks)
            for (const auto& p : d.partitions)
                if (p.name == name) d.info.in_use = true;
    }
}

void read_scsi_side(LinuxDisk& d, const std::string& dev_dir) {
    d.scsi_device_path = dev_dir;
    std::string hctl = fs::path(dev_dir).filename().string();
    uint32_t v[4] = {0, 0, 0, 0};
    std::string_view rest = hctl;
    for (int i = 0; i < 4; ++i) {
        size_t colon = rest.find(':');
        v[i] = parse_uint<uint32_t>(rest.substr(0, colon)).value_or(0);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    d.scsi_host = v[0];
    d.scsi_channel = v[1];
    d.info.scsi_port = v[0];
    d.info.scsi_path_id = v[1];
    d.info.scsi_target = v[2];
    d.info.scsi_lun = v[3];
    for (const auto& sg : list_dir(fs::path(dev_dir) / "scsi_generic")) {
        d.sg_name = sg;
        break;
    }
    std::string vendor = read_attr(fs::path(dev_dir) / "vendor");
    std::string model = read_attr(fs::path(dev_dir) / "model");
    // libata names every disk's vendor "ATA"; the model alone says more.
    d.info.friendly_name = (vendor.empty() || vendor == "ATA") ? model : trim(vendor + " " + model);
}

void classify_scsi_transport(LinuxDisk& d, const std::string& dev_dir) {
    auto parts = components(dev_dir);
    auto any = [&](auto pred) { return std::any_of(parts.begin(), parts.end(), pred); };
    if (any([](const std::string& s) { return has_prefix_number(s, "usb"); }))
        d.transport = Transport::Usb;
    else if (any([](const std::string& s) { return has_prefix_number(s, "ata"); }))
        d.transport = Transport::Sata;
    else if (any([](const std::string& s) { return s.starts_with("end_device-") || s.starts_with("port-"); }))
        d.transport = Transport::Sas;
    else if (any([](const std::string& s) { return has_prefix_number(s, "session"); }))
        d.transport = Transport::Iscsi;
    else
        d.transport = Transport::Scsi;
}

// The model from the IDENTIFY DEVICE words libata keeps for the device
// (ataN/linkN/devN.T/ata_device/devN.T/id, words 27-46); empty when absent.
std::string libata_model(const std::string& dev_dir, uint32_t target) {
    std::string port = nearest_ancestor(dev_dir, [](const std::string& s) { return has_prefix_number(s, "ata"); });
    if (port.empty()) return {};
    std::string n = fs::path(port).filename().string().substr(3);
    std::string dev = "dev" + n + "." + std::to_string(target);
    std::istringstream words(read_attr(fs::path(port) / ("link" + n) / dev / "ata_device" / dev / "id"));
    std::string model, token;
    for (int w = 0; w <= 46 && words >> token; ++w) {
        if (w < 27) continue;
        uint16_t v = parse_uint<uint16_t>(token, 16).value_or(0);
        for (char c : {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)})
            model += (c >= 0x20 && c < 0x7F) ? c : ' ';
    }
    return trim(model);
}

// libata gives each port its own SCSI host with channel 0; the path id the
// system shows ("SATA%d") is the port's position on its controller.
uint32_t ata_port_index(const std::string& dev_dir) {
    std::string port = nearest_ancestor(dev_dir, [](const std::string& s) { return has_prefix_number(s, "ata"); });
    if (port.empty()) return 0;
    std::vector<uint32_t> siblings;
    for (const auto& e : list_dir(fs::path(port).parent_path()))
        if (has_prefix_number(e, "ata")) siblings.push_back(parse_uint<uint32_t>(e.substr(3)).value_or(0));
    std::sort(siblings.begin(), siblings.end());
    uint32_t mine = parse_uint<uint32_t>(fs::path(port).filename().string().substr(3)).value_or(0);
    return static_cast<uint32_t>(std::find(siblings.begin(), siblings.end(), mine) - siblings.begin());
}

std::vector<uint32_t> usb_root_buses(const SystemRoots& roots) {
    std::vector<uint32_t> buses;
    for (const auto& e : list_dir(fs::path(roots.sys) / "bus/usb/devices"))
        if (has_prefix_number(e, "usb")) buses.push_back(parse_uint<uint32_t>(e.substr(3)).value_or(0));
    std::sort(buses.begin(), buses.end());
    return buses;
}

void read_controller(LinuxDisk& d, const std::string& start, const std::vector<uint32_t>& root_buses) {
    if (d.transport == Transport::Usb) {
        std::string usb = nearest_ancestor(start, is_usb_device_name);
        std::string iface = nearest_ancestor(start, is_usb_interface_name);
        d.usb_device_path = usb;
        if (!usb.empty()) {
            fs::path u(usb);
            std::string name = trim(read_attr(u / "manufacturer") + " " + read_attr(u / "product"));
            d.info.controller_name = name.empty() ? "USB Mass Storage Device" : name;
            d.info.controller_instance = u.filename().string();
            d.info.port_location = usb_port_location(u.filename().string(), root_buses);
        }
        if (!iface.empty()) {
            d.info.controller_service = link_target_name(fs::path(iface) / "driver");
            d.info.driver_version = module_version(fs::path(iface) / "driver");
        }
    }
    d.pci_path = nearest_ancestor(start, [](const std::string& s) { return is_pci_slot(s); });
    if (d.pci_path.empty()) return;
    fs::path pci(d.pci_path);
    d.pci_driver = link_target_name(pci / "driver");
    if (d.transport == Transport::Usb) return;
    d.info.controller_name = pci_class_name(pci);
    d.info.controller_instance = pci.filename().string();
    d.info.controller_service = d.pci_driver;
    d.info.driver_version = module_version(pci / "driver");
    d.info.port_location = pci_port_location(pci.filename().string());
}

void read_disk(LinuxDisk& d, const SystemRoots& roots, const std::vector<uint32_t>& root_buses) {
    fs::path block = fs::path(roots.sys) / "block" / d.name;
    d.sysfs_path = canon_path(block);
    if (d.sysfs_path.empty()) d.sysfs_path = block.string();
    fs::path canon(d.sysfs_path);
    d.info.length_bytes = read_u64(canon / "size") * 512;
    d.info.bytes_per_sector = static_cast<uint32_t>(read_u64(canon / "queue/logical_block_size", 512));
    d.info.removable = read_attr(canon / "removable") == "1";
    d.info.native_path = roots.dev + "/" + d.name;
    std::string sys_canon = canon_path(roots.sys);
    d.info.interface_path = (!sys_canon.empty() && d.sysfs_path.starts_with(sys_canon + "/"))
                                ? "/sys" + d.sysfs_path.substr(sys_canon.size())
                                : d.sysfs_path;

    if (d.name.starts_with("nvme")) {
        d.transport = Transport::Nvme;
        d.nvme_controller = nvme_controller_of(block, d.name);
        std::string ctrl = canon_path(fs::path(roots.sys) / "class/nvme" / d.nvme_controller);
        std::string model = read_attr(block / "device/model");
        if (model.empty() && !ctrl.empty()) model = read_attr(fs::path(ctrl) / "model");
        d.info.friendly_name = model;
        uint32_t nsid = static_cast<uint32_t>(read_u64(canon / "nsid", 0));
        if (nsid == 0) {
            size_t n = d.name.rfind('n');
            nsid = parse_uint<uint32_t>(d.name.substr(n + 1)).value_or(1);
        }
        d.info.scsi_lun = nsid > 0 ? nsid - 1 : 0;
        read_controller(d, ctrl.empty() ? d.sysfs_path : ctrl, root_buses);
        // The inbox driver of the kernel; fabrics controllers have no PCI side.
        d.info.controller_service = "nvme";
        if (d.pci_path.empty()) {
            std::string transport = ctrl.empty() ? std::string() : read_attr(fs::path(ctrl) / "transport");
            d.info.controller_name = "NVM Express Controller" + (transport.empty() ? "" : " (" + transport + ")");
            d.info.controller_instance = d.nvme_controller;
        }
        return;
    }

    if (is_loop_name(d.name)) {
        d.info.friendly_name = "Loop Device";
        return;
    }
    std::string dev_dir = canon_path(block / "device");
    if (d.name.starts_with("vd")) {
        d.transport = Transport::VirtioBlk;
        d.info.friendly_name = "Virtio Block Device";
    } else if (d.name.starts_with("hd")) {
        d.transport = Transport::Ide;
        d.info.friendly_name = read_attr(block / "device/model");
    } else if (!dev_dir.empty()) {
        classify_scsi_transport(d, dev_dir);
        read_scsi_side(d, dev_dir);
        if (d.transport == Transport::Sata) {
            d.info.scsi_path_id = ata_port_index(dev_dir);
            // The SCSI model is cut at 16 characters; the ATA one is whole.
            if (std::string model = libata_model(dev_dir, d.info.scsi_target); !model.empty())
                d.info.friendly_name = model;
        }
    }
    read_controller(d, dev_dir.empty() ? d.sysfs_path : dev_dir, root_buses);
}

std::string devno_key(uint32_t major, uint32_t minor) { return std::to_string(major) + ":" + std::to_string(minor); }

struct PartRef {
    size_t disk = 0, part = 0;
};

// The partitions a mounted device stands on: the partition itself, or for a
// device-mapper or md device the first partition among its slaves.
std::optional<PartRef> resolve_mount_device(const SystemRoots& roots, const std::map<std::string, PartRef>& by_devno,
                                            const std::map<std::string, PartRef>& by_name, uint32_t major,
                                            uint32_t minor) {
    std::string key = devno_key(major, minor);
    if (auto it = by_devno.find(key); it != by_devno.end()) return it->second;
    std::string dev = canon_path(fs::path(roots.sys) / "dev/block" / key);
    for (int depth = 0; depth < 8 && !dev.empty(); ++depth) {
        auto slaves = list_dir(fs::path(dev) / "slaves");
        if (slaves.empty()) return std::nullopt;
        if (auto it = by_name.find(slaves.front()); it != by_name.end()) return it->second;
        dev = canon_path(fs::path(dev) / "slaves" / slaves.front());
    }
    return std::nullopt;
}

void assign_mounts(std::vector<LinuxDisk>& disks, const SystemRoots& roots) {
    std::map<std::string, PartRef> by_devno, by_name;
    for (size_t i = 0; i < disks.size(); ++i)
        for (size_t j = 0; j < disks[i].partitions.size(); ++j) {
            const auto& p = disks[i].partitions[j];
            if (p.major || p.minor) by_devno[devno_key(p.major, p.minor)] = {i, j};
            by_name[p.name] = {i, j};
        }
    std::map<std::string, int> best_rank;
    for (const auto& m : parse_mountinfo(read_file(roots.mountinfo))) {
        auto ref = resolve_mount_device(roots, by_devno, by_name, m.major, m.minor);
        if (!ref && m.source.starts_with("/dev/")) {
            auto it = by_name.find(fs::path(m.source).filename().string());
            if (it != by_name.end()) ref = it->second;
        }
        if (!ref) continue;
        auto& p = disks[ref->disk].partitions[ref->part];
        // Prefer the mount at "/", then a mount of the whole file system, then the first one.
        int rank = m.mount_point == "/" ? 2 : m.root == "/" ? 1 : 0;
        auto [it, fresh] = best_rank.try_emplace(p.name, rank);
        if (!fresh && rank <= it->second) continue;
        it->second = rank;
        p.mount_point = m.mount_point;
        p.mount_source = m.source;
    }
    // Letters: C: for "/", then D: onwards in disk and partition order.
    for (auto& d : disks)
        for (auto& p : d.partitions)
            if (p.mount_point == "/") p.letter = 'C';
    char next = 'D';
    for (auto& d : disks)
        for (auto& p : d.partitions)
            if (!p.mount_point.empty() && p.letter == 0 && next <= 'Z') p.letter = next++;
    for (auto& d : disks) {
        for (const auto& p : d.partitions) {
            if (!p.letter) continue;
            DiscoveredVolume v;
            v.letter = p.letter;
            struct statvfs st {};
            if (::statvfs(p.mount_point.c_str(), &st) == 0) {
                v.free_bytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
                v.total_bytes = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
            }
            v.aligned_4k = (p.start_sector * 512) % 4096 == 0;
            std::string src = p.mount_source.starts_with("/dev/") ? p.mount_source : roots.dev + "/" + p.name;
            v.native_path = src + " on " + p.mount_point;
            d.info.volumes.push_back(v);
        }
        std::sort(d.info.volumes.begin(), d.info.volumes.end(),
                  [](const auto& a, const auto& b) { return a.letter < b.letter; });
    }
}

// NVMe controllers have no SCSI host; they get port numbers after the
// highest SCSI host so that "\\.\scsi%d:" names each of them alone.
void assign_nvme_ports(std::vector<LinuxDisk>& disks, const SystemRoots& roots) {
    uint32_t next = 0;
    for (const auto& h : list_dir(fs::path(roots.sys) / "class/scsi_host"))
        if (has_prefix_number(h, "host")) next = std::max(next, parse_uint<uint32_t>(h.substr(4)).value_or(0) + 1);
    for (const auto& d : disks)
        if (!d.scsi_device_path.empty()) next = std::max(next, d.scsi_host + 1);
    std::vector<std::string> ctrls;
    for (const auto& d : disks)
        if (d.transport == Transport::Nvme && std::find(ctrls.begin(), ctrls.end(), d.nvme_controller) == ctrls.end())
            ctrls.push_back(d.nvme_controller);
    std::sort(ctrls.begin(), ctrls.end(), disk_name_less);
    for (auto& d : disks)
        if (d.transport == Transport::Nvme)
            d.info.scsi_port =
                next + static_cast<uint32_t>(std::find(ctrls.begin(), ctrls.end(), d.nvme_controller) - ctrls.begin());
}

std::string unescape_mount(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::all_of(s.begin() + i + 1, s.begin() + i + 4, [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Disk kinds in enumeration order.
int prefix_rank(std::string_view name) {
    if (name.starts_with("nvme")) return 0;
    if (name.starts_with("sd")) return 1;
    if (name.starts_with("hd")) return 2;
    if (name.starts_with("vd")) return 3;
    if (name.starts_with("loop")) return 4;
    return 5;
}

// A loop device that stands for a disk: attached to a file and writable
// (read-only images such as packaged squashfs mounts are no test targets).
bool usable_loop(const fs::path& block) {
    return path_exists(block / "loop/backing_file") && read_attr(block / "ro") != "1";
}

}  // namespace

std::vector<MountEntry> parse_mountinfo(std::string_view text) {
    std::vector<MountEntry> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() : eol + 1;
        std::vector<std::string_view> f;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && line[i] == ' ') ++i;
            size_t j = line.find(' ', i);
            if (j == std::string_view::npos) j = line.size();
            if (j > i) f.push_back(line.substr(i, j - i));
            i = j;
        }
        // id parent major:minor root mount-point options [optional...] - fstype source super-options
        auto sep = std::find(f.begin(), f.end(), std::string_view("-"));
        if (f.size() < 5 || sep == f.end() || sep - f.begin() < 6 || f.end() - sep < 3) continue;
        size_t colon = f[2].find(':');
        if (colon == std::string_view::npos) continue;
        auto maj = parse_uint<uint32_t>(f[2].substr(0, colon));
        auto min = parse_uint<uint32_t>(f[2].substr(colon + 1));
        if (!maj || !min) continue;
        MountEntry m;
        m.major = *maj;
        m.minor = *min;
        m.root = unescape_mount(f[3]);
        m.mount_point = unescape_mount(f[4]);
        m.source = unescape_mount(*(sep + 2));
        out.push_back(std::move(m));
    }
    return out;
}

bool is_disk_name(std::string_view name) {
    if (name.starts_with("nvme")) {  // nvme<C>n<N>, not the multipath paths nvme<C>c<P>n<N>
        size_t n = name.find('n', 4);
        return n != std::string_view::npos && all_digits(name.substr(4, n - 4)) && all_digits(name.substr(n + 1));
    }
    for (std::string_view p : {"sd", "vd", "hd"})
        if (name.starts_with(p) && name.size() > 2 &&
            std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            return true;
    return false;
}

bool is_loop_name(std::string_view name) {
    return name.starts_with("loop") && name.size() > 4 && all_digits(name.substr(4));
}

bool disk_name_less(std::string_view a, std::string_view b) {
    int ra = prefix_rank(a), rb = prefix_rank(b);
    if (ra != rb) return ra < rb;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        bool da = std::isdigit(static_cast<unsigned char>(a[i])), db = std::isdigit(static_cast<unsigned char>(b[j]));
        size_t ei = i, ej = j;
        while (ei < a.size() && static_cast<bool>(std::isdigit(static_cast<unsigned char>(a[ei]))) == da) ++ei;
        while (ej < b.size() && static_cast<bool>(std::isdigit(static_cast<unsigned char>(b[ej]))) == db) ++ej;
        std::string_view ra_run = a.substr(i, ei - i), rb_run = b.substr(j, ej - j);
        if (da && db) {
            uint64_t na = parse_uint<uint64_t>(ra_run).value_or(0), nb = parse_uint<uint64_t>(rb_run).value_or(0);
            if (na != nb) return na < nb;
        } else if (da != db) {
            return da;  // digits before letters
        } else if (ra_run != rb_run) {
            // letter runs: shorter first ("sdz" before "sdaa"), then alphabetical
            if (ra_run.size() != rb_run.size()) return ra_run.size() < rb_run.size();
            return ra_run < rb_run;
        }
        i = ei;
        j = ej;
    }
    return a.size() - i < b.size() - j;
}

uint32_t pci_port_location(std::string_view slot) {
    if (!is_pci_slot(slot)) return 0;
    auto bus = parse_uint<uint32_t>(slot.substr(5, 2), 16);
    auto dev = parse_uint<uint32_t>(slot.substr(8, 2), 16);
    auto fn = parse_uint<uint32_t>(slot.substr(11, 1), 16);
    if (!bus || !dev || !fn || *dev > 31 || *fn > 7) return 0;
    return *bus * 256 + *dev * 8 + *fn;
}

uint32_t usb_port_location(std::string_view usb_device, std::span<const uint32_t> root_buses) {
    if (!is_usb_device_name(usb_device)) return 0;
    size_t dash = usb_device.find('-');
    uint32_t bus = parse_uint<uint32_t>(usb_device.substr(0, dash)).value_or(0);
    auto it = std::find(root_buses.begin(), root_buses.end(), bus);
    uint64_t value = it == root_buses.end() ? bus : static_cast<uint64_t>(it - root_buses.begin()) + 1;
    std::string_view ports = usb_device.substr(dash + 1);
    while (!ports.empty()) {
        size_t dot = ports.find('.');
        uint32_t port = parse_uint<uint32_t>(ports.substr(0, dot)).value_or(0) % 100;
        // Deep hub chains keep their lowest digit pairs: the device's own port matters most.
        value = (value * 100 + port) % 10000000000ull;
        ports = dot == std::string_view::npos ? std::string_view() : ports.substr(dot + 1);
    }
    return value > UINT32_MAX ? static_cast<uint32_t>(value % 100000000) : static_cast<uint32_t>(value);
}

std::vector<LinuxDisk> scan_disks(const SystemRoots& roots) {
    std::vector<std::string> names;
    for (const auto& e : list_dir(fs::path(roots.sys) / "block"))
        if (is_disk_name(e) || (is_loop_name(e) && usable_loop(fs::path(roots.sys) / "block" / e))) names.push_back(e);
    std::sort(names.begin(), names.end(), disk_name_less);
    const auto root_buses = usb_root_buses(roots);
    std::vector<LinuxDisk> disks;
    for (const auto& n : names) {
        LinuxDisk d;
        d.name = n;
        d.info.disk_number = static_cast<uint32_t>(disks.size());
        read_disk(d, roots, root_buses);
        d.info.bus_type = bus_type_of(d.transport);
        read_partitions(d);
        disks.push_back(std::move(d));
    }
    assign_nvme_ports(disks, roots);
    assign_mounts(disks, roots);
    mark_swap(disks, roots);
    return disks;
}

std::optional<size_t> disk_for_device_path(std::string_view path, const std::vector<LinuxDisk>& disks) {
    std::string p(path);
    for (auto& c : p) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::replace(p.begin(), p.end(), '/', '\\');
    if (!p.starts_with("\\\\.\\")) return std::nullopt;
    std::string_view rest = std::string_view(p).substr(4);
    auto find = [&](auto pred) -> std::optional<size_t> {
        for (size_t i = 0; i < disks.size(); ++i)
            if (pred(disks[i])) return i;
        return std::nullopt;
    };
    if (rest.starts_with("PHYSICALDRIVE")) {
        auto n = parse_uint<uint32_t>(rest.substr(13));
        if (!n) return std::nullopt;
        return find([&](const LinuxDisk& d) { return d.info.disk_number == *n; });
    }
    if (rest.starts_with("SCSI") && rest.ends_with(":")) {
        auto n = parse_uint<uint32_t>(rest.substr(4, rest.size() - 5));
        if (!n) return std::nullopt;
        return find([&](const LinuxDisk& d) {
            return (d.transport == Transport::Nvme || !d.scsi_device_path.empty()) && d.info.scsi_port == *n;
        });
    }
    if (rest.size() == 2 && rest[1] == ':' && rest[0] >= 'A' && rest[0] <= 'Z') {
        char letter = rest[0];
        return find([&](const LinuxDisk& d) {
            return std::any_of(d.partitions.begin(), d.partitions.end(), [&](const auto& p) { return p.letter == letter; });
        });
    }
    return std::nullopt;
}

std::optional<std::string> resolve_device_path(std::string_view path, const std::vector<LinuxDisk>& disks,
                                               const SystemRoots& roots) {
    auto i = disk_for_device_path(path, disks);
    if (!i) return std::nullopt;
    const LinuxDisk& d = disks[*i];
    std::string upper(path);
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bool port_path = upper.find("SCSI") != std::string::npos && upper.ends_with(":");
    if (port_path && d.transport == Transport::Nvme && !d.nvme_controller.empty())
        return roots.dev + "/" + d.nvme_controller;
    return roots.dev + "/" + d.name;
}

}  // namespace tb::linuxdisk
