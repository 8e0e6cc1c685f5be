#include "platform/sim/sim_machine.h"

#include <fstream>
#include <system_error>

#include "common/text.h"
#include "platform/host/random_bytes.h"
#include "platform/host/replace_file.h"
#include "platform/sim/host_path.h"
#include "platform/sim/private_folder.h"
#include "platform/sim/sim_volume_images.h"
#include "platform/sim/sim_partition_table.h"

namespace tb::sim {

namespace {

std::string lower_id(std::string s) {
    for (char& c : s) c = c == ' ' ? '_' : ascii_lower(c);
    return s;
}

uint32_t hash32(const std::string& s) {
    uint32_t h = 2166136261u;
    for (char c : s) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h;
}

char hex_digit(int v) { return "0123456789ABCDEF"[v & 15]; }

std::string hex4(uint32_t v) {
    std::string s(4, '0');
    for (int i = 0; i < 4; ++i) s[3 - i] = hex_digit(static_cast<int>(v >> (4 * i)));
    return s;
}

std::string hex8(uint32_t v) { return hex4(v >> 16) + hex4(v & 0xFFFF); }

// A name beside `path` that no other writer of the same file picks; empty
// when the system has no random bytes to give.
std::string temporary_beside(const std::string& path) {
    uint32_t tag = 0;
    try {
        host::random_bytes(&tag, sizeof tag);
    } catch (const std::system_error&) {
        return {};
    }
    return path + ".tmp" + hex8(tag);
}

// Writes `state` to a temporary file and puts it in the place of `path` in
// one step, so that a reader finds the old state or the new one, never a
// part; the temporary does not outlive a failure.
bool write_state_file(const std::string& path, const std::map<std::string, std::string>& state) {
    const std::string tmp_name = temporary_beside(path);
    if (tmp_name.empty()) return false;
    const std::filesystem::path target = host_path(path);
    const std::filesystem::path tmp = host_path(tmp_name);
    bool written = false;
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const auto& [k, v] : state) out << k << '=' << v << '\n';
        out.close();
        written = static_cast<bool>(out);
    }
    if (written && host::replace_file(tmp, target, nullptr)) return true;
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
    return false;
}

// The handle of one opened path.
class SimDeviceHandle final : public DiskDevice {
  public:
    SimDeviceHandle(std::shared_ptr<SimDisk> disk, PathKind kind, uint64_t generation)
        : disk_(std::move(disk)), kind_(kind), generation_(generation) {}
    DeviceStatus nvme(NvmePassThrough& r) override { return note(disk_->nvme(kind_, generation_, r, error_)); }
    DeviceStatus scsi(ScsiPassThrough& r) override { return note(disk_->scsi(kind_, generation_, r, error_)); }
    DeviceStatus ata(AtaPassThrough& r) override { return note(disk_->ata(kind_, generation_, r, error_)); }
    uint32_t last_error() const override { return error_; }

  private:
    DeviceStatus note(DeviceStatus s) {
        if (s == DeviceStatus::Ok) error_ = 0;
        else if (s == DeviceStatus::Unsupported) error_ = 1;  // ERROR_INVALID_FUNCTION
        return s;
    }
    std::shared_ptr<SimDisk> disk_;
    PathKind kind_;
    uint64_t generation_;
    uint32_t error_ = 0;
};

}  // namespace

// ---- SimDisk -------------------------------------------------------------

std::shared_ptr<SimDisk> SimDisk::create(const DiskConfig& config, const SimConfig& machine,
                                         const PrivateFolder& folder, std::shared_ptr<SimClock> clock,
                                         std::string* error) {
    const uint64_t size = config.capacity_bytes / 4096 * 4096;
    const std::string name = "disk" + std::to_string(config.number);
    auto store = config.file.empty() ? BackingStore::open_in(folder, name + ".img", size, error)
                                     : BackingStore::open(config.file, size, error);
    if (!store || !copy_volume_images(config, *store, error)) return nullptr;
    std::string state_path = machine.persist ? folder.path_of(name + ".state") : std::string();
    return std::shared_ptr<SimDisk>(new SimDisk(config, std::move(state_path), std::move(clock), std::move(store)));
}

SimDisk::SimDisk(const DiskConfig& config, std::string state_path, std::shared_ptr<SimClock> clock,
                 std::shared_ptr<BackingStore> store)
    : config_(config), state_path_(std::move(state_path)), clock_(std::move(clock)), store_(std::move(store)) {
    switch (config_.inner()) {
        case InnerKind::Nvme: nvme_ = std::make_unique<SimNvmeController>(config_, *store_, faults_, *clock_); break;
        case InnerKind::Ata: ata_ = std::make_unique<SimSataDisk>(config_, *store_, faults_, *clock_); break;
        case InnerKind::Block:
            flash_ = std::make_unique<StoreBlockTarget>(*store_, flash_powered_);
            store_->set_write_cache(false);
            break;
    }
    if (config_.behind_bridge())
        bridge_ = std::make_unique<SimUsbBridge>(config_, nvme_.get(), ata_.get(), flash_.get(), *this);
    present_ = config_.present;
    load_state();
    install_faults();
}

// The faults of the machine file, on the medium every path reaches.
void SimDisk::install_faults() {
    store_->set_fault_seed(config_.fault_seed);
    for (const auto& rule : config_.fault_rules) store_->add_fault(medium_fault_of(rule, config_.sector_size));
    if (config_.power_loss.armed()) store_->set_power_loss_rule(config_.power_loss);
}

// A medium that lost its power by its rule takes the disk with it: off the
// system, counted as an unsafe shutdown, until the program ends.
void SimDisk::notice_power_loss() {
    if (lost_power_ || !config_.power_loss.armed() || !store_->power_lost()) return;
    lost_power_ = true;
    powered_ = false;
    ++generation_;
    inner_off(false);
}

SimDisk::~SimDisk() {
    std::lock_guard lock(mutex_);
    notice_power_loss();  // a program that ran past the time of its power loss counts it
    save_state();
}

void SimDisk::load_state() {
    if (state_path_.empty()) return;
    std::ifstream in(host_path(state_path_), std::ios::binary);
    if (!in) return;
    std::map<std::string, std::string> m;
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (nvme_) nvme_->load_state(m);
    if (ata_) ata_->load_state(m);
}

void SimDisk::save_state() {
    if (state_path_.empty()) return;
    std::map<std::string, std::string> m;
    if (nvme_) m = nvme_->save_state();
    else if (ata_) m = ata_->save_state();
    else return;
    if (!write_state_file(state_path_, m)) return;
    if (nvme_) nvme_->state_dirty = false;
    if (ata_) ata_->state_dirty = false;
}

void SimDisk::save_if_dirty() {
    if ((nvme_ && nvme_->state_dirty) || (ata_ && ata_->state_dirty)) save_state();
}

bool SimDisk::accessible(uint64_t generation, uint32_t& error) {
    if (!visible() || generation != generation_) {
        error = kErrorNotConnected;
        return false;
    }
    if (auto f = faults_.take_request()) {
        error = f->error_code;
        return false;
    }
    return true;
}

DeviceStatus SimDisk::nvme(PathKind, uint64_t generation, NvmePassThrough& r, uint32_t& error) {
    std::lock_guard lock(mutex_);
    if (!accessible(generation, error)) return DeviceStatus::Failed;
    if (!nvme_ || bridge_) return DeviceStatus::Unsupported;
    if (!nvme_->powered()) {
        error = kErrorNotConnected;
        return DeviceStatus::Failed;
    }
    nvme_->pass_through(r);
    save_if_dirty();
    return DeviceStatus::Ok;
}

DeviceStatus SimDisk::ata(PathKind, uint64_t generation, AtaPassThrough& r, uint32_t& error) {
    std::lock_guard lock(mutex_);
    if (!accessible(generation, error)) return DeviceStatus::Failed;
    if (!ata_ || bridge_) return DeviceStatus::Unsupported;
    bool in = r.flags & kAtaDataIn, out = r.flags & kAtaDataOut, dma = r.flags & kAtaDma;
    if (in && out) {
        error = kErrorInvalidParameter;
        return DeviceStatus::Failed;
    }
    AtaProtocol p = in ? (dma ? AtaProtocol::DmaIn : AtaProtocol::PioIn)
                    : out ? (dma ? AtaProtocol::DmaOut : AtaProtocol::PioOut)
                          : AtaProtocol::NonData;
    bool ext = r.flags & kAtaExt;
    const auto& cur = r.current;
    const auto& prev = r.previous;
    AtaCommand c;
    c.feature = static_cast<uint16_t>(cur[kAtaFeature] | (ext ? prev[kAtaFeature] << 8 : 0));
    c.count = static_cast<uint16_t>(cur[kAtaCount] | (ext ? prev[kAtaCount] << 8 : 0));
    c.lba = static_cast<uint64_t>(cur[kAtaLbaLow]) | (static_cast<uint64_t>(cur[kAtaLbaMid]) << 8) |
            (static_cast<uint64_t>(cur[kAtaLbaHigh]) << 16);
    if (ext) {
        c.lba |= (static_cast<uint64_t>(prev[kAtaLbaLow]) << 24) | (static_cast<uint64_t>(prev[kAtaLbaMid]) << 32) |
                 (static_cast<uint64_t>(prev[kAtaLbaHigh]) << 40);
    }
    c.device = cur[kAtaDevice];
    c.command = cur[kAtaCommand];
    c.ext = ext;
    std::span<uint8_t> data = (in || out) ? r.data : std::span<uint8_t>();
    AtaOutput o = ata_->execute(c, p, data);
    r.current = {o.error, static_cast<uint8_t>(o.count), static_cast<uint8_t>(o.lba), static_cast<uint8_t>(o.lba >> 8),
                 static_cast<uint8_t>(o.lba >> 16), o.device, o.status, 0};
    if (ext) {
        r.previous = {0, static_cast<uint8_t>(o.count >> 8), static_cast<uint8_t>(o.lba >> 24),
                      static_cast<uint8_t>(o.lba >> 32), static_cast<uint8_t>(o.lba >> 40), 0, 0, 0};
    }
    save_if_dirty();
    return DeviceStatus::Ok;
}

DeviceStatus SimDisk::scsi(PathKind, uint64_t generation, ScsiPassThrough& r, uint32_t& error) {
    std::lock_guard lock(mutex_);
    if (!accessible(generation, error)) return DeviceStatus::Failed;
    r.transferred = 0;
    r.scsi_status = 0;
    r.sense.fill(0);
    if (auto f = faults_.take_scsi(r.cdb[0], r.cdb[1])) {
        scsi::check(r, f->sense_key, f->asc, f->ascq);
        return DeviceStatus::Ok;
    }
    if (bridge_) {
        bridge_->scsi(r);
    } else if (nvme_) {
        NvmeBlockTarget t(*nvme_);
        if (!nvme_security_cdb(r, *nvme_) && !block_command(r, t, nvme_inquiry_identity(*nvme_)))
            scsi::invalid_opcode(r);
    } else if (ata_) {
        AtaBlockTarget t(*ata_);
        if (!ata_pass_through_cdb(r, *ata_) && !block_command(r, t, ata_inquiry_identity(*ata_)))
            scsi::invalid_opcode(r);
    } else {
        scsi::invalid_opcode(r);
    }
    save_if_dirty();
    return DeviceStatus::Ok;
}

// ---- power and device state ----------------------------------------------

void SimDisk::inner_off(bool graceful) {
    if (nvme_) nvme_->power_off(graceful);
    if (ata_) ata_->power_off(graceful);
    if (flash_ && flash_powered_) {
        if (graceful) store_->flush();
        else store_->power_loss();
        flash_powered_ = false;
    }
    if (bridge_) bridge_->reset();
    save_if_dirty();
}

void SimDisk::inner_on() {
    if (nvme_) nvme_->power_on();
    if (ata_) ata_->power_on();
    flash_powered_ = true;
    save_if_dirty();
}

void SimDisk::controller_reset() {
    if (nvme_ && nvme_->powered()) nvme_->reset();
    if (bridge_) bridge_->reset();
    save_if_dirty();
}

void SimDisk::bridge_power(BridgePower action) {
    switch (action) {
        case BridgePower::Off: inner_off(false); break;
        case BridgePower::On: inner_on(); break;
        case BridgePower::Relink: controller_reset(); break;
        case BridgePower::Cycle:
            inner_off(false);
            inner_on();
            break;
    }
}

void SimDisk::unplug() {
    std::lock_guard lock(mutex_);
    if (!present_) return;
    present_ = false;
    ++generation_;
    inner_off(false);
}

void SimDisk::replug() {
    std::lock_guard lock(mutex_);
    if (present_ && !removed_) return;
    present_ = true;
    removed_ = false;
    ++generation_;
    if (powered_) {
        inner_off(false);  // no-op when already off
        inner_on();
    }
}

void SimDisk::power_off(bool graceful) {
    std::lock_guard lock(mutex_);
    if (!powered_) return;
    powered_ = false;
    ++generation_;
    inner_off(graceful);
}

void SimDisk::power_on() {
    std::lock_guard lock(mutex_);
    if (powered_) return;
    powered_ = true;
    ++generation_;
    if (present_) inner_on();
}

bool SimDisk::set_enabled(bool enable) {
    std::lock_guard lock(mutex_);
    if (!present_ || !powered_ || removed_) return false;
    if (enable == enabled_) return true;
    enabled_ = enable;
    ++generation_;
    if (enable && !config_.reconnect) {
        removed_ = true;  // the request is taken, but the controller never shows again
        return true;
    }
    if (enable) controller_reset();  // the driver starts the controller afresh
    return true;
}

bool SimDisk::remove() {
    std::lock_guard lock(mutex_);
    if (!present_ || !powered_ || removed_) return false;
    removed_ = true;
    ++generation_;
    return true;
}

void SimDisk::rescan() {
    std::lock_guard lock(mutex_);
    if (!removed_ || !config_.reconnect) return;
    removed_ = false;
    ++generation_;
    controller_reset();
}

uint64_t SimDisk::shown_bytes() {
    std::lock_guard lock(mutex_);
    return shown_bytes_locked();
}

uint64_t SimDisk::shown_bytes_locked() const {
    if (nvme_) return nvme_->capacity_bytes();
    if (ata_) return ata_->sector_count() * 512;
    return store_->size();
}

bool SimDisk::inner_powered() {
    std::lock_guard lock(mutex_);
    if (nvme_) return nvme_->powered();
    if (ata_) return ata_->powered();
    return flash_powered_;
}

std::optional<uint64_t> SimDisk::open_generation() {
    std::lock_guard lock(mutex_);
    if (!visible()) return std::nullopt;
    return generation_;
}

bool SimDisk::has_letter(char letter) const {
    for (const auto& v : config_.volumes) {
        if (v.letter == ascii_upper(letter)) return true;
    }
    return false;
}

// ---- discovery -----------------------------------------------------------

uint32_t SimDisk::bus_type() const {
    if (config_.bus_override >= 0) return static_cast<uint32_t>(config_.bus_override);
    switch (config_.type) {
        case DiskType::Sata: return kBusSata;
        case DiskType::Nvme: return kBusNvme;
        case DiskType::Usb: return kBusUsb;
    }
    return kBusUnknown;
}

std::string SimDisk::service() const {
    if (!config_.service.empty()) return config_.service;
    switch (config_.type) {
        case DiskType::Sata: return "storahci";
        case DiskType::Nvme: return "stornvme";
        case DiskType::Usb:
            return config_.bridge == BridgeKind::UsbSata || config_.bridge == BridgeKind::Flash ? "USBSTOR" : "UASPStor";
    }
    return {};
}

std::optional<DiscoveredDisk> SimDisk::discovered() {
    std::lock_guard lock(mutex_);
    if (!visible()) return std::nullopt;
    DiscoveredDisk d;
    d.disk_number = config_.number;
    d.scsi_port = static_cast<uint32_t>(config_.scsi_port);
    d.scsi_path_id = config_.path_id;
    d.scsi_target = config_.target;
    d.scsi_lun = config_.lun;
    d.bus_type = bus_type();
    d.removable = config_.bridge == BridgeKind::Flash;
    d.controller_service = service();
    d.driver_version = "10.0.19041.1";
    std::string vendor, product;
    if (bridge_) {
        InquiryIdentity id = bridge_->inquiry_identity();
        vendor = id.vendor;
        product = id.product;
        d.friendly_name = id.vendor + " " + id.product + " USB Device";
        bool inner_on = nvme_ ? nvme_->powered() : ata_ ? ata_->powered() : flash_powered_;
        d.length_bytes = inner_on ? shown_bytes_locked() : 0;  // no medium while the inner disk is off
        d.bytes_per_sector = nvme_ ? nvme_->block_size() : 512;
        UsbIds ids = bridge_usb_ids(config_.bridge);
        bool uas = config_.bridge != BridgeKind::UsbSata && config_.bridge != BridgeKind::Flash;
        d.controller_name = uas ? "USB Attached SCSI (UAS) Mass Storage Device" : "USB Mass Storage Device";
        d.controller_instance = "USB\\VID_" + hex4(ids.vid) + "&PID_" + hex4(ids.pid) + "\\" + config_.serial;
        uint32_t loc = 0;
        for (uint32_t p : config_.usb_path) loc = loc * 100 + p;
        d.port_location = loc;
        d.native_path = "sim:usb" + std::to_string(config_.number);
    } else if (nvme_) {
        vendor = "NVMe";
        product = config_.model;
        d.friendly_name = config_.model;
        d.length_bytes = shown_bytes_locked();
        d.bytes_per_sector = nvme_->block_size();
        std::string svc = service();
        d.controller_name = iequals(svc, "stornvme")   ? "Standard NVM Express Controller"
                            : icontains(svc, "iaStor") ? "Intel(R) Chipset SATA/PCIe RST Premium Controller"
                                                       : "Simulated NVMe Miniport Controller";
        d.controller_instance = "PCI\\VEN_" + hex4(config_.vid) + "&DEV_5A10&SUBSYS_" + hex4(0x5A10) +
                                hex4(config_.ssvid) + "&REV_01\\4&" + hex8(hash32(config_.serial)) + "&0&00" +
                                std::string(1, hex_digit(static_cast<int>(config_.pci_device >> 1))) +
                                std::string(1, hex_digit(static_cast<int>(((config_.pci_device & 1) << 3) | config_.pci_function)));
        d.port_location = config_.pci_bus * 256 + (config_.pci_device * 8) % 256 + config_.pci_function % 8;
        d.native_path = "sim:nvme" + std::to_string(config_.number);
    } else {
        vendor = "ATA";
        product = config_.model;
        d.friendly_name = config_.model;
        d.length_bytes = shown_bytes_locked();
        d.bytes_per_sector = 512;
        d.controller_name = "Standard SATA AHCI Controller";
        d.controller_instance = "PCI\\VEN_8086&DEV_A352&SUBSYS_86941043&REV_10\\3&11583659&0&B8";
        d.port_location = config_.path_id;
        d.native_path = "sim:sata" + std::to_string(config_.number);
    }
    d.interface_path = "\\\\?\\scsi#disk&ven_" + lower_id(vendor) + "&prod_" + lower_id(product.substr(0, 16)) + "#" +
                       std::to_string(config_.number) + "&" + hex8(hash32(config_.serial)) +
                       "&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    for (const auto& v : config_.volumes) {
        DiscoveredVolume dv;
        dv.letter = v.letter;
        dv.total_bytes = v.total_bytes;
        dv.free_bytes = v.free_bytes;
        dv.aligned_4k = v.aligned_4k;
        dv.native_path = "sim:" + std::string(1, v.letter) + ":";
        d.volumes.push_back(dv);
    }
    return d;
}

// ---- SimMachine ----------------------------------------------------------

std::unique_ptr<SimMachine> SimMachine::create(const SimConfig& config, std::string* error) {
    std::unique_ptr<SimMachine> m(new SimMachine(config));
    std::string why;
    auto folder = PrivateFolder::open(m->config_.folder, &why);
    if (!folder) {
        if (error) *error = config_place(m->config_, m->config_.folder_line) + why;
        return nullptr;
    }
    for (const auto& dc : m->config_.disks) {
        // The file-system targets of a volume live in a folder of their own.
        for (const auto& v : dc.volumes) {
            if (!folder->ensure_subfolder(std::string("volume_") + v.letter, &why)) {
                if (error) *error = config_place(m->config_, dc.volumes_line) + why;
                return nullptr;
            }
        }
        auto d = SimDisk::create(dc, m->config_, *folder, m->clock_, &why);
        if (!d) {
            if (error)
                *error = config_place(m->config_, dc.file.empty() ? dc.section_line : dc.file_line) + "disk " +
                         std::to_string(dc.number) + ": " + why;
            return nullptr;
        }
        m->disks_[dc.number] = std::move(d);
    }
    return m;
}

std::vector<uint32_t> SimMachine::disk_numbers() const {
    std::vector<uint32_t> v;
    for (const auto& [n, d] : disks_) v.push_back(n);
    return v;
}

SimDisk* SimMachine::disk(uint32_t number) const {
    auto it = disks_.find(number);
    return it == disks_.end() ? nullptr : it->second.get();
}

std::shared_ptr<SimDisk> SimMachine::disk_shared(uint32_t number) const {
    auto it = disks_.find(number);
    return it == disks_.end() ? nullptr : it->second;
}

std::vector<DiscoveredDisk> SimMachine::discover() {
    std::vector<DiscoveredDisk> out;
    // Letters of the machine file first; the partitions of disk tables get the others.
    std::string letters;
    for (const auto& dc : config_.disks)
        for (const auto& v : dc.volumes) letters += v.letter;
    for (auto& [n, d] : disks_) {
        auto dd = d->discovered();
        if (!dd) continue;
        add_table_volumes(*this, *d, *dd, letters);
        if (config_.number_by_place) dd->disk_number = static_cast<uint32_t>(out.size());
        out.push_back(std::move(*dd));
    }
    return out;
}

std::shared_ptr<SimDisk> SimMachine::system_disk(uint32_t system_number) const {
    if (!config_.number_by_place) return disk_shared(system_number);
    uint32_t place = 0;
    for (const auto& [n, d] : disks_) {
        if (!d->open_generation()) continue;
        if (place++ == system_number) return d;
    }
    return nullptr;
}

std::unique_ptr<DiskDevice> SimMachine::open(const std::string& path) {
    std::string p = to_upper(path);
    if (!istarts_with(p, "\\\\.\\")) return nullptr;
    std::string rest = p.substr(4);
    auto number_after = [&](const std::string& prefix, const std::string& suffix) -> std::optional<uint32_t> {
        if (rest.size() <= prefix.size() + suffix.size() || rest.rfind(prefix, 0) != 0) return std::nullopt;
        std::string digits = rest.substr(prefix.size(), rest.size() - prefix.size() - suffix.size());
        if (rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) != 0) return std::nullopt;
        if (digits.empty() || digits.size() > 6) return std::nullopt;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
        }
        return static_cast<uint32_t>(std::stoul(digits));
    };
    std::shared_ptr<SimDisk> disk;
    PathKind kind;
    if (auto n = number_after("PHYSICALDRIVE", "")) {
        disk = system_disk(*n);
        kind = PathKind::PhysicalDrive;
    } else if (auto port = number_after("SCSI", ":")) {
        for (auto& [num, d] : disks_) {
            if (static_cast<uint32_t>(d->config().scsi_port) == *port && d->open_generation()) {
                disk = d;
                break;
            }
        }
        kind = PathKind::ScsiPort;
    } else if ((rest.size() == 2 || (rest.size() == 3 && rest[2] == '\\')) && rest[1] == ':' && rest[0] >= 'C' &&
               rest[0] <= 'Z') {
        for (auto& [num, d] : disks_) {
            if (d->has_letter(rest[0]) && d->open_generation()) {
                disk = d;
                break;
            }
        }
        kind = PathKind::Volume;
    } else {
        return nullptr;
    }
    if (!disk) return nullptr;
    auto gen = disk->open_generation();
    if (!gen) return nullptr;
    return std::make_unique<SimDeviceHandle>(disk, kind, *gen);
}

#define SIM_DISK_OR_FALSE(n)   \
    SimDisk* d = disk(n);      \
    if (!d) return false

bool SimMachine::unplug(uint32_t n) {
    SIM_DISK_OR_FALSE(n);
    d->unplug();
    return true;
}
bool SimMachine::replug(uint32_t n) {
    SIM_DISK_OR_FALSE(n);
    d->replug();
    return true;
}
bool SimMachine::power_off(uint32_t n, bool graceful) {
    SIM_DISK_OR_FALSE(n);
    d->power_off(graceful);
    return true;
}
bool SimMachine::power_on(uint32_t n) {
    SIM_DISK_OR_FALSE(n);
    d->power_on();
    return true;
}
bool SimMachine::power_cycle(uint32_t n, bool graceful) {
    SIM_DISK_OR_FALSE(n);
    d->power_off(graceful);
    d->power_on();
    return true;
}
bool SimMachine::set_enabled(uint32_t n, bool enabled) {
    SIM_DISK_OR_FALSE(n);
    return d->set_enabled(enabled);
}
bool SimMachine::remove(uint32_t n) {
    SIM_DISK_OR_FALSE(n);
    return d->remove();
}
void SimMachine::rescan() {
    for (auto& [n, d] : disks_) d->rescan();
}
bool SimMachine::inject(uint32_t n, const NvmeFault& f) {
    SIM_DISK_OR_FALSE(n);
    d->faults().add(f);
    return true;
}
bool SimMachine::inject(uint32_t n, const AtaFault& f) {
    SIM_DISK_OR_FALSE(n);
    d->faults().add(f);
    return true;
}
bool SimMachine::inject(uint32_t n, const ScsiFault& f) {
    SIM_DISK_OR_FALSE(n);
    d->faults().add(f);
    return true;
}
bool SimMachine::inject(uint32_t n, const RequestFault& f) {
    SIM_DISK_OR_FALSE(n);
    d->faults().add(f);
    return true;
}

namespace {
WriteFault lba_fault(WriteFate fate, uint32_t count, uint64_t first_lba, uint64_t last_lba) {
    WriteFault f;
    f.fate = fate;
    f.count = count;
    f.first_byte = first_lba > UINT64_MAX / 512 ? UINT64_MAX : first_lba * 512;
    f.last_byte = last_lba >= UINT64_MAX / 512 ? UINT64_MAX : last_lba * 512 + 511;
    return f;
}
}  // namespace

bool SimMachine::drop_writes(uint32_t n, uint32_t count, uint64_t first_lba, uint64_t last_lba) {
    SIM_DISK_OR_FALSE(n);
    d->store().add_write_fault(lba_fault(WriteFate::Drop, count, first_lba, last_lba));
    return true;
}
bool SimMachine::corrupt_writes(uint32_t n, uint32_t count, uint64_t first_lba, uint64_t last_lba, uint8_t xor_mask) {
    SIM_DISK_OR_FALSE(n);
    WriteFault f = lba_fault(WriteFate::Corrupt, count, first_lba, last_lba);
    f.xor_mask = xor_mask;
    d->store().add_write_fault(f);
    return true;
}
bool SimMachine::clear_faults(uint32_t n) {
    SIM_DISK_OR_FALSE(n);
    d->faults().clear();
    d->store().clear_faults();
    return true;
}

bool SimMachine::register_nvme_vendor_handler(uint32_t n, uint8_t opcode, bool io_queue, NvmeVendorHandler handler) {
    SIM_DISK_OR_FALSE(n);
    std::lock_guard lock(d->mutex());
    if (!d->nvme_controller()) return false;
    d->nvme_controller()->register_vendor_handler(opcode, io_queue, std::move(handler));
    return true;
}

std::shared_ptr<BackingStore> SimMachine::store(uint32_t n) const {
    auto d = disk_shared(n);
    return d ? d->store_shared() : nullptr;
}

#undef SIM_DISK_OR_FALSE

}  // namespace tb::sim
