#include "platform/sim/sim_nvme.h"

#include "platform/sim/sim_pattern_images.h"
#include "platform/sim/sim_vendor_nvme.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tb::sim {

namespace st = nvme_status;

namespace {

constexpr uint32_t kNsid = 1;
constexpr uint8_t kMdts = 9;  // 2 MiB with 4 KiB pages
constexpr uint64_t kMaxTransfer = (1ull << kMdts) * 4096;
constexpr int kErrorEntries = 64;
constexpr uint16_t kWctemp = 343;  // 70 C
constexpr uint16_t kCctemp = 355;  // 82 C
constexpr uint16_t kMntmt = 273;   // 0 C
constexpr uint16_t kMxtmt = 358;   // 85 C
constexpr int kPowerStates = 3;
constexpr int kSensors = 2;

// Opcodes.
enum : uint8_t {
    kAdmGetLogPage = 0x02, kAdmIdentify = 0x06, kAdmAbort = 0x08, kAdmSetFeatures = 0x09,
    kAdmGetFeatures = 0x0A, kAdmFwCommit = 0x10, kAdmFwDownload = 0x11, kAdmFormat = 0x80,
    kAdmSecuritySend = 0x81, kAdmSecurityReceive = 0x82,
};
enum : uint8_t {
    kIoFlush = 0x00, kIoWrite = 0x01, kIoRead = 0x02, kIoCompare = 0x05, kIoWriteZeroes = 0x08, kIoDsm = 0x09,
};

// Feature identifiers the controller knows.
constexpr uint8_t kKnownFeatures[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x10};

uint64_t hash64(std::string_view s, uint64_t seed) {
    uint64_t h = 1469598103934665603ull ^ seed;
    for (char c : s) h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    return h;
}

void put_le128(std::span<uint8_t> b, size_t at, uint64_t v) {
    put_le64(b, at, v);
    put_le64(b, at + 8, 0);
}

bool host_to_controller(DataDir dir, std::span<uint8_t> data) { return dir == DataDir::Out || data.empty(); }
bool controller_to_host(DataDir dir, std::span<uint8_t> data) { return dir == DataDir::In || data.empty(); }

}  // namespace

SimNvmeController::SimNvmeController(const DiskConfig& config, BackingStore& store, FaultInjector& faults,
                                     const SimClock& clock)
    : config_(config), store_(store), faults_(faults), clock_(clock) {
    lba_format_ = config_.sector_size == 4096 ? 1 : 0;
    slots_[0] = config_.firmware;
    running_fw_ = config_.firmware;
    counters_.power_on_s = config_.power_on_hours * 3600;
    counters_.power_cycles = config_.power_cycles;
    counters_.unsafe_shutdowns = config_.unsafe_shutdowns;
    saved_features_[0x06] = config_.write_cache ? 1 : 0;
    powered_since_ = clock_.now_seconds();
    heat_time_ = powered_since_;
    store_.set_cache_size(config_.cache_size);
    if (vendor_selector(config_.vendor.kind) >= 0) {
        VendorDeviceHooks hooks;
        hooks.clear_health_counters = [this] { clear_health_counters(); };
        hooks.empty_mapping = [this] { return store_.zero_all(); };  // the whole medium reads zeros
        hooks.medium_bytes = [this] { return store_.size(); };
        hooks.block_size = [this] { return block_size(); };
        hooks.power_on_ms = [this] { return power_on_seconds() * 1000; };
        hooks.running_firmware = [this] { return firmware_revision(); };
        vendor_ = std::make_unique<SimVendor>(config_, std::move(hooks));
    }
    reset();
}

void SimNvmeController::register_vendor_handler(uint8_t opcode, bool io_queue, NvmeVendorHandler handler) {
    uint16_t key = static_cast<uint16_t>((io_queue ? 0x100 : 0) | opcode);
    if (handler) vendor_handlers_[key] = std::move(handler);
    else vendor_handlers_.erase(key);
}

uint32_t SimNvmeController::block_size() const { return lba_format_ == 1 ? 4096 : 512; }

uint64_t SimNvmeController::capacity_bytes() const {
    return vendor_ ? vendor_->shown_bytes(store_.size()) : store_.size();
}

uint64_t SimNvmeController::namespace_blocks() const { return capacity_bytes() / block_size(); }

void SimNvmeController::clear_health_counters() {
    counters_ = NvmeCounters{};
    powered_since_ = clock_.now_seconds();
    state_dirty = true;
}

// ---- power ---------------------------------------------------------------

uint64_t SimNvmeController::power_on_seconds() const {
    uint64_t s = counters_.power_on_s;
    if (powered_) s += static_cast<uint64_t>(std::max(0.0, clock_.now_seconds() - powered_since_));
    return s;
}

void SimNvmeController::power_off(bool graceful) {
    if (!powered_) return;
    counters_.power_on_s = power_on_seconds();
    if (graceful) {
        store_.flush();
    } else {
        store_.power_loss();
        ++counters_.unsafe_shutdowns;
    }
    powered_ = false;
    download_.clear();
    if (vendor_) vendor_->power_off();
    state_dirty = true;
}

void SimNvmeController::power_on() {
    if (powered_) return;
    powered_ = true;
    powered_since_ = clock_.now_seconds();
    ++counters_.power_cycles;
    reset();
    state_dirty = true;
}

void SimNvmeController::reset() {
    if (pending_slot_) {
        active_slot_ = pending_slot_;
        pending_slot_ = 0;
        state_dirty = true;
    }
    running_fw_ = slots_[active_slot_ - 1];
    download_.clear();
    if (vendor_) {
        vendor_->reset();
        if (vendor_->take_dirty()) state_dirty = true;
    }
    sq_head_[0] = sq_head_[1] = 0;
    apply_saved_features();
}

void SimNvmeController::apply_saved_features() {
    current_features_ = saved_features_;
    store_.set_write_cache((feature_current(0x06) & 1) != 0);
}

// ---- dispatch ------------------------------------------------------------

NvmeResult SimNvmeController::execute(const NvmeCommand& cmd, bool io_queue, DataDir dir, std::span<uint8_t> data) {
    NvmeResult r;
    if (auto f = faults_.take_nvme(io_queue, cmd.opcode())) {
        r = {f->status, f->dw0};
    } else if (auto it = vendor_handlers_.find(static_cast<uint16_t>((io_queue ? 0x100 : 0) | cmd.opcode()));
               it != vendor_handlers_.end()) {
        r = it->second(*this, cmd, dir, data);
    } else if (auto v = vendor_ && !io_queue ? run_vendor_nvme(*vendor_, vendor_selector(config_.vendor.kind), cmd,
                                                               dir, data)
                                             : std::nullopt) {
        r = *v;
        if (vendor_->take_dirty()) state_dirty = true;
    } else if (data.size() > kMaxTransfer) {
        r = {st::kInvalidField, 0};
    } else {
        r = io_queue ? io(cmd, dir, data) : admin(cmd, dir, data);
    }
    if (r.status != st::kSuccess && r.status != st::kFwNeedsConventionalReset) {
        uint64_t lba = io_queue ? (static_cast<uint64_t>(cmd.cdw(11)) << 32 | cmd.cdw(10)) : 0;
        record_error(cmd, io_queue, r.status, lba);
    }
    ++sq_head_[io_queue ? 1 : 0];
    return r;
}

void SimNvmeController::pass_through(NvmePassThrough& request) {
    NvmeCommand cmd;
    cmd.bytes = request.command;
    NvmeResult r = execute(cmd, request.io_queue, request.dir, request.data);
    auto& c = request.completion;
    c.fill(0);
    put_le32(c, 0, r.dw0);
    put_le16(c, 8, sq_head_[request.io_queue ? 1 : 0]);
    put_le16(c, 10, request.io_queue ? 1 : 0);
    put_le16(c, 12, cmd.cid());
    put_le16(c, 14, static_cast<uint16_t>((r.status << 1) | 1));
}

NvmeResult SimNvmeController::admin(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    switch (c.opcode()) {
        case kAdmIdentify: return identify(c, dir, data);
        case kAdmGetLogPage: return get_log_page(c, dir, data);
        case kAdmGetFeatures: return get_features(c, dir, data);
        case kAdmSetFeatures: return set_features(c, dir, data);
        case kAdmFwDownload: return firmware_download(c, dir, data);
        case kAdmFwCommit: return firmware_commit(c);
        case kAdmFormat: return format(c);
        case kAdmSecuritySend: return security_send(c, dir, data);
        case kAdmSecurityReceive: return security_receive(c, dir, data);
        case kAdmAbort: return {st::kSuccess, 1};  // nothing outstanding: not aborted
        default: return {st::kInvalidOpcode, 0};
    }
}

void SimNvmeController::record_error(const NvmeCommand& c, bool io_queue, uint16_t status, uint64_t lba) {
    ++counters_.error_count;
    errors_.push_back({counters_.error_count, static_cast<uint16_t>(io_queue ? 1 : 0), c.cid(), status, lba,
                       c.nsid()});
    if (errors_.size() > kErrorEntries) errors_.erase(errors_.begin());
}

void SimNvmeController::account_io(uint64_t bytes, bool write) {
    if (write) {
        counters_.units_written += bytes / 512;
        ++counters_.host_writes;
    } else {
        counters_.units_read += bytes / 512;
        ++counters_.host_reads;
    }
    counters_.busy_us += 10 + bytes / 2000;
    double now = clock_.now_seconds();
    heat_ = heat_ * std::exp(-(now - heat_time_) / 60.0) + static_cast<double>(bytes) / (1 << 30) * 4.0;
    heat_ = std::min(heat_, 25.0);
    heat_time_ = now;
}

int SimNvmeController::temperature_kelvin() const {
    double now = clock_.now_seconds();
    double heat = heat_ * std::exp(-(now - heat_time_) / 60.0);
    return 273 + config_.temperature_c + static_cast<int>(std::lround(heat));
}

// ---- identify ------------------------------------------------------------

std::array<uint8_t, 8> SimNvmeController::eui64() const {
    std::array<uint8_t, 8> e{};
    uint64_t h = hash64(config_.serial, 0xE0);
    e[0] = 0x00;
    e[1] = 0x1F;
    e[2] = 0x9A;  // OUI
    for (int i = 3; i < 8; ++i) e[i] = static_cast<uint8_t>(h >> (8 * i));
    return e;
}

std::array<uint8_t, 16> SimNvmeController::nguid() const {
    std::array<uint8_t, 16> g{};
    uint64_t a = hash64(config_.serial, 0x61), b = hash64(config_.model, 0x62);
    for (int i = 0; i < 8; ++i) {
        g[i] = static_cast<uint8_t>(a >> (8 * i));
        g[8 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    return g;
}

std::array<uint8_t, 16> SimNvmeController::uuid() const {
    std::array<uint8_t, 16> u{};
    uint64_t a = hash64(config_.serial, 0x75), b = hash64(config_.serial, 0x76);
    for (int i = 0; i < 8; ++i) {
        u[i] = static_cast<uint8_t>(a >> (8 * i));
        u[8 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    u[6] = static_cast<uint8_t>((u[6] & 0x0F) | 0x40);  // version 4
    u[8] = static_cast<uint8_t>((u[8] & 0x3F) | 0x80);
    return u;
}

std::vector<uint8_t> SimNvmeController::identify_controller() const {
    std::vector<uint8_t> d(4096, 0);
    std::span<uint8_t> b(d);
    // A written vendor configuration names the controller; the ROM code
    // reports its SoC identifier in place of the subsystem vendor.
    const VendorIdentity* named = vendor_ && vendor_->identity() ? &*vendor_->identity() : nullptr;
    put_le16(b, 0, config_.vid);
    put_le16(b, 2, vendor_ && vendor_->rom_mode() ? config_.vendor.soc_id : config_.ssvid);
    put_ascii(b, 4, 20, named ? named->serial : config_.serial);
    put_ascii(b, 24, 40, named ? named->model : config_.model);
    put_ascii(b, 64, 8, named ? named->firmware : running_fw_);
    b[72] = 6;                        // RAB
    b[73] = 0x9A; b[74] = 0x1F; b[75] = 0x00;  // IEEE OUI 00-1F-9A, least significant byte first
    b[76] = 0;                        // CMIC
    b[77] = kMdts;
    put_le16(b, 78, 1);               // CNTLID
    put_le32(b, 80, 0x00010400);      // VER 1.4
    put_le32(b, 84, 500000);          // RTD3R
    put_le32(b, 88, 2000000);         // RTD3E
    put_le32(b, 92, 0x00000300);      // OAES: namespace attribute and firmware activation notices
    put_le32(b, 96, 0);               // CTRATT
    b[111] = 1;                       // CNTRLTYPE: I/O controller
    uint16_t oacs = 0x0007;           // OACS: security, format, firmware
    if (config_.vendor.byte256_bit1) oacs = *config_.vendor.byte256_bit1 ? (oacs | 0x2) : (oacs & ~0x2);
    put_le16(b, 256, oacs);
    b[258] = 3;                       // ACL
    b[259] = 3;                       // AERL
    uint8_t frmw = static_cast<uint8_t>((config_.slot1_readonly ? 1 : 0) | (config_.fw_slots << 1) |
                                        (config_.activate_without_reset ? 0x10 : 0));
    b[260] = frmw;
    b[261] = 0x06;                    // LPA: effects log, extended get log page
    b[262] = kErrorEntries - 1;       // ELPE
    b[263] = kPowerStates - 1;        // NPSS
    b[264] = 1;                       // AVSCC
    b[265] = 1;                       // APSTA
    put_le16(b, 266, kWctemp);
    put_le16(b, 268, kCctemp);
    put_le16(b, 270, 100);            // MTFA (100 ms units)
    put_le128(b, 280, capacity_bytes());  // TNVMCAP
    put_le128(b, 296, 0);             // UNVMCAP
    put_le16(b, 316, 2);              // EDSTT
    b[319] = 1;                       // FWUG: 4 KiB
    put_le16(b, 322, 1);              // HCTMA
    put_le16(b, 324, kMntmt);
    put_le16(b, 326, kMxtmt);
    put_le32(b, 328, 0);              // SANICAP
    b[512] = 0x66;                    // SQES
    b[513] = 0x44;                    // CQES
    put_le16(b, 514, 256);            // MAXCMD
    put_le32(b, 516, 1);              // NN
    put_le16(b, 520, config_.trim ? 0x001D : 0x0019);  // ONCS: compare, DSM (with trim), write zeroes, save/select features
    put_le16(b, 522, 0);              // FUSES
    b[524] = 0x07;                    // FNA
    b[525] = 0x07;                    // VWC present, flush to all namespaces
    put_le16(b, 526, 0x00FF);         // AWUN
    put_le16(b, 528, 0);              // AWUPF
    b[530] = 1;                       // NVSCC
    put_le16(b, 532, 0);              // ACWU
    put_le32(b, 536, 0);              // SGLS
    std::string nqn = "nqn.2024-01.sim.tamblor:nvme:" + config_.serial;
    std::memcpy(d.data() + 768, nqn.data(), std::min<size_t>(nqn.size(), 255));
    // Power state descriptors: max power (0.01 W), entry/exit latency (us), relative latencies.
    static constexpr struct { uint16_t mp; uint32_t enlat, exlat; uint8_t rel; uint16_t actp; } ps[kPowerStates] = {
        {650, 0, 0, 0, 550}, {400, 0, 0, 1, 350}, {250, 500, 1000, 2, 200}};
    for (int i = 0; i < kPowerStates; ++i) {
        size_t at = 2048 + 32 * static_cast<size_t>(i);
        put_le16(b, at, ps[i].mp);
        put_le32(b, at + 4, ps[i].enlat);
        put_le32(b, at + 8, ps[i].exlat);
        b[at + 12] = ps[i].rel;  // RRT
        b[at + 13] = ps[i].rel;  // RRL
        b[at + 14] = ps[i].rel;  // RWT
        b[at + 15] = ps[i].rel;  // RWL
        put_le16(b, at + 20, ps[i].actp);
        b[at + 22] = 0x42;       // APW 2, APS 1 (0.01 W)
    }
    std::string vs = "TAMBLOR SIM " + config_.model;
    std::memcpy(d.data() + 3072, vs.data(), std::min<size_t>(vs.size(), 64));
    return d;
}

std::vector<uint8_t> SimNvmeController::identify_namespace(uint32_t nsid) const {
    std::vector<uint8_t> d(4096, 0);
    std::span<uint8_t> b(d);
    bool common = nsid == 0xFFFFFFFF;
    if (!common) {
        uint64_t n = namespace_blocks();
        put_le64(b, 0, n);  // NSZE
        put_le64(b, 8, n);  // NCAP
        put_le64(b, 16, std::min<uint64_t>(n, (store_.allocated_bytes() + block_size() - 1) / block_size()));  // NUSE
        put_le128(b, 48, n * block_size());  // NVMCAP
        auto g = nguid();
        std::memcpy(d.data() + 104, g.data(), 16);
        auto e = eui64();
        std::memcpy(d.data() + 120, e.data(), 8);
    }
    b[24] = 0x01;                // NSFEAT: thin provisioning (NUSE follows deallocation)
    b[25] = 1;                   // NLBAF: two formats
    b[26] = lba_format_;         // FLBAS
    b[32] = 0x80;                // FPI: format progress supported, done
    b[33] = 0x01;                // DLFEAT: deallocated blocks read as zeros
    put_le16(b, 34, 0);          // NAWUN
    // LBA formats: MS 0, LBADS, RP.
    b[128 + 2] = 9;
    b[128 + 3] = 2;              // 512: good
    b[132 + 2] = 12;
    b[132 + 3] = 0;              // 4096: best
    return d;
}

NvmeResult SimNvmeController::identify(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    if (!controller_to_host(dir, data)) return {st::kInvalidField, 0};
    uint8_t cns = static_cast<uint8_t>(c.cdw(10));
    uint32_t nsid = c.nsid();
    std::vector<uint8_t> out(4096, 0);
    switch (cns) {
        case 0x00:
            if (nsid != kNsid && nsid != 0xFFFFFFFF) return {st::kInvalidNamespace, 0};
            out = config_.pattern_images ? pattern_identify_namespace() : identify_namespace(nsid);
            break;
        case 0x01: out = config_.pattern_images ? pattern_identify_controller() : identify_controller(); break;
        case 0x02:
            if (nsid >= 0xFFFFFFFE) return {st::kInvalidNamespace, 0};
            if (nsid < kNsid) put_le32(out, 0, kNsid);
            break;
        case 0x03: {
            if (nsid != kNsid) return {st::kInvalidNamespace, 0};
            size_t at = 0;
            auto e = eui64();
            out[at] = 1; out[at + 1] = 8;
            std::memcpy(out.data() + at + 4, e.data(), 8);
            at += 12;
            auto g = nguid();
            out[at] = 2; out[at + 1] = 16;
            std::memcpy(out.data() + at + 4, g.data(), 16);
            at += 20;
            auto u = uuid();
            out[at] = 3; out[at + 1] = 16;
            std::memcpy(out.data() + at + 4, u.data(), 16);
            break;
        }
        case 0x10:  // allocated namespace list
            if (nsid >= 0xFFFFFFFE) return {st::kInvalidNamespace, 0};
            if (nsid < kNsid) put_le32(out, 0, kNsid);
            break;
        case 0x11:  // identify namespace, allocated
            if (nsid != kNsid) return {st::kInvalidNamespace, 0};
            out = identify_namespace(nsid);
            break;
        default: return {st::kInvalidField, 0};
    }
    copy_out(data, out);
    return {};
}

// ---- log pages -----------------------------------------------------------

std::vector<uint8_t> SimNvmeController::error_log() const {
    std::vector<uint8_t> d(kErrorEntries * 64, 0);
    std::span<uint8_t> b(d);
    size_t i = 0;
    for (auto it = errors_.rbegin(); it != errors_.rend(); ++it, ++i) {
        size_t at = i * 64;
        put_le64(b, at, it->count);
        put_le16(b, at + 8, it->sqid);
        put_le16(b, at + 10, it->cid);
        put_le16(b, at + 12, static_cast<uint16_t>(it->status << 1));
        put_le16(b, at + 14, 0xFFFF);  // parameter error location: not known
        put_le64(b, at + 16, it->lba);
        put_le32(b, at + 24, it->nsid);
    }
    return d;
}

std::vector<uint8_t> SimNvmeController::smart_log() const {
    std::vector<uint8_t> d(512, 0);
    std::span<uint8_t> b(d);
    int temp = temperature_kelvin();
    uint8_t warning = 0;
    auto over = [&](int sensor) { return static_cast<int>(feature_current_key(0x04 | (static_cast<uint32_t>(sensor) << 8)) & 0xFFFF); };
    auto under = [&](int sensor) {
        return static_cast<int>(feature_current_key(0x04 | (static_cast<uint32_t>(0x10 | sensor) << 8)) & 0xFFFF);
    };
    int sensor_temp[kSensors + 1] = {temp, temp + 2, temp - 1};
    for (int s = 0; s <= kSensors; ++s) {
        if (sensor_temp[s] > over(s) || sensor_temp[s] < under(s)) warning |= 0x02;
    }
    b[0] = warning;
    put_le16(b, 1, static_cast<uint16_t>(temp));
    b[3] = 100;  // available spare
    b[4] = 10;   // threshold
    double used = static_cast<double>(counters_.units_written) * 512.0 /
                  (static_cast<double>(store_.size()) * 1500.0) * 100.0;
    b[5] = static_cast<uint8_t>(std::min(255.0, used));
    put_le128(b, 32, (counters_.units_read + 999) / 1000);
    put_le128(b, 48, (counters_.units_written + 999) / 1000);
    put_le128(b, 64, counters_.host_reads);
    put_le128(b, 80, counters_.host_writes);
    put_le128(b, 96, counters_.busy_us / 60000000);
    put_le128(b, 112, counters_.power_cycles);
    put_le128(b, 128, power_on_seconds() / 3600);
    put_le128(b, 144, counters_.unsafe_shutdowns);
    put_le128(b, 160, counters_.media_errors);
    put_le128(b, 176, counters_.error_count);
    put_le32(b, 192, temp > kWctemp ? 1 : 0);
    put_le32(b, 196, temp > kCctemp ? 1 : 0);
    put_le16(b, 200, static_cast<uint16_t>(sensor_temp[1]));
    put_le16(b, 202, static_cast<uint16_t>(sensor_temp[2]));
    return d;
}

std::vector<uint8_t> SimNvmeController::firmware_slot_log() const {
    std::vector<uint8_t> d(512, 0);
    d[0] = static_cast<uint8_t>(active_slot_ | (pending_slot_ << 4));
    for (int s = 0; s < 7; ++s) {
        if (s < static_cast<int>(config_.fw_slots) && !slots_[s].empty()) put_ascii(d, 8 + 8 * s, 8, slots_[s]);
    }
    return d;
}

std::vector<uint8_t> SimNvmeController::effects_log() const {
    std::vector<uint8_t> d(4096, 0);
    std::span<uint8_t> b(d);
    auto admin = [&](uint8_t op, uint32_t v) { put_le32(b, op * 4u, v); };
    auto io = [&](uint8_t op, uint32_t v) { put_le32(b, 1024 + op * 4u, v); };
    admin(kAdmGetLogPage, 0x1);
    admin(kAdmIdentify, 0x1);
    admin(kAdmAbort, 0x1);
    admin(kAdmSetFeatures, 0x1);
    admin(kAdmGetFeatures, 0x1);
    admin(kAdmFwCommit, 0x1F);
    admin(kAdmFwDownload, 0x1);
    admin(kAdmFormat, 0x00020007);
    admin(kAdmSecuritySend, 0x00020003);
    admin(kAdmSecurityReceive, 0x1);
    io(kIoFlush, 0x1);
    io(kIoWrite, 0x3);
    io(kIoRead, 0x1);
    io(kIoCompare, 0x1);
    io(kIoWriteZeroes, 0x3);
    io(kIoDsm, 0x3);
    for (const auto& [key, handler] : vendor_handlers_) {
        if (key & 0x100) io(static_cast<uint8_t>(key), 0x1);
        else admin(static_cast<uint8_t>(key), 0x1);
    }
    return d;
}

std::vector<uint8_t> SimNvmeController::vendor_log(uint8_t id) const {
    std::vector<uint8_t> d(512, 0);
    std::span<uint8_t> b(d);
    std::memcpy(d.data(), "SIMV", 4);
    b[4] = id;
    b[5] = 1;  // layout version
    put_le64(b, 8, counters_.units_read);
    put_le64(b, 16, counters_.units_written);
    put_le64(b, 24, counters_.host_reads);
    put_le64(b, 32, counters_.host_writes);
    put_le64(b, 40, counters_.power_cycles);
    put_le64(b, 48, power_on_seconds());
    put_le16(b, 56, static_cast<uint16_t>(temperature_kelvin()));
    put_ascii(b, 64, 8, running_fw_);
    put_ascii(b, 72, 20, config_.serial);
    return d;
}

NvmeResult SimNvmeController::get_log_page(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    if (!controller_to_host(dir, data)) return {st::kInvalidField, 0};
    uint32_t cdw10 = c.cdw(10);
    uint8_t lid = static_cast<uint8_t>(cdw10);
    uint64_t numd = (cdw10 >> 16) | (static_cast<uint64_t>(c.cdw(11) & 0xFFFF) << 16);
    uint64_t length = (numd + 1) * 4;
    uint64_t offset = c.cdw(12) | (static_cast<uint64_t>(c.cdw(13)) << 32);
    if (offset % 4) return {st::kInvalidField, 0};
    std::vector<uint8_t> log;
    switch (lid) {
        case 0x01: log = error_log(); break;
        case 0x02: log = config_.pattern_images ? pattern_smart_log() : smart_log(); break;
        case 0x03: log = firmware_slot_log(); break;
        case 0x05: log = effects_log(); break;
        default:
            if (auto e1 = lid == 0xE1 && vendor_ ? vendor_->log_e1() : std::nullopt) {
                log = std::move(*e1);
                break;
            }
            if (std::find(config_.vendor_logs.begin(), config_.vendor_logs.end(), lid) != config_.vendor_logs.end()) {
                log = vendor_log(lid);
                break;
            }
            return {st::kInvalidLogPage, 0};
    }
    if (offset >= log.size()) return {st::kInvalidField, 0};
    size_t n = static_cast<size_t>(std::min<uint64_t>(length, log.size() - offset));
    size_t want = static_cast<size_t>(std::min<uint64_t>(length, data.size()));
    copy_out(data.first(want), std::span<const uint8_t>(log.data() + offset, n));
    return {};
}

// ---- features ------------------------------------------------------------

bool SimNvmeController::feature_known(uint8_t fid) const {
    return std::find(std::begin(kKnownFeatures), std::end(kKnownFeatures), fid) != std::end(kKnownFeatures);
}

uint32_t SimNvmeController::feature_key(uint8_t fid, uint32_t cdw11) const {
    if (fid == 0x04) return fid | (((cdw11 >> 16) & 0x3F) << 8);  // THSEL, TMPSEL
    if (fid == 0x09) return fid | ((cdw11 & 0xFFFF) << 8);         // interrupt vector
    return fid;
}

uint32_t SimNvmeController::feature_default(uint32_t key) const {
    uint8_t fid = static_cast<uint8_t>(key);
    uint32_t sub = key >> 8;
    switch (fid) {
        case 0x01: return 0x00000003;  // arbitration burst 8
        case 0x04: {
            bool under = (sub & 0x30) != 0;
            uint32_t sensor = sub & 0x0F;
            if (under) return 0;
            return sensor == 0 ? kWctemp : 0xFFFF;
        }
        case 0x06: return config_.write_cache ? 1 : 0;
        case 0x07: return 0x003F003F;
        case 0x09: return sub == 0 ? 0x10000 : 0;
        default: return 0;
    }
}

uint32_t SimNvmeController::feature_current_key(uint32_t key) const {
    auto it = current_features_.find(key);
    return it != current_features_.end() ? it->second : feature_default(key);
}

uint32_t SimNvmeController::feature_current(uint8_t fid) const { return feature_current_key(fid); }

NvmeResult SimNvmeController::get_features(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    uint32_t cdw10 = c.cdw(10);
    uint8_t fid = static_cast<uint8_t>(cdw10);
    uint32_t sel = (cdw10 >> 8) & 0x7;
    if (!feature_known(fid) || sel > 3) return {st::kInvalidField, 0};
    uint32_t cdw11 = c.cdw(11);
    if (fid == 0x09 && (cdw11 & 0xFFFF) >= 64) return {st::kInvalidField, 0};
    if (fid == 0x04) {
        uint32_t tmpsel = (cdw11 >> 16) & 0xF, thsel = (cdw11 >> 20) & 0x3;
        if ((tmpsel > kSensors && tmpsel != 0xF) || thsel > 1) return {st::kInvalidField, 0};
    }
    if (sel == 3) {
        uint32_t caps = 0x4;            // changeable
        if (fid != 0x07) caps |= 0x1;   // saveable
        if (fid == 0x03) caps |= 0x2;   // namespace specific
        return {st::kSuccess, caps};
    }
    uint32_t key = feature_key(fid, cdw11);
    uint32_t v;
    if (sel == 0) {
        v = feature_current_key(key);
    } else if (sel == 1) {
        v = feature_default(key);
    } else {
        auto it = saved_features_.find(key);
        v = it != saved_features_.end() ? it->second : feature_default(key);
    }
    if (fid == 0x04) v = (v & 0xFFFF) | (((key >> 8) & 0x3F) << 16);
    if (fid == 0x09) v = (v & 0x10000) | (key >> 8);
    if (fid == 0x03) {  // one LBA range covering the namespace
        if (!controller_to_host(dir, data)) return {st::kInvalidField, 0};
        std::vector<uint8_t> r(64, 0);
        r[0] = 0x00;  // reserved type: general purpose
        r[1] = 0x01;  // may be overwritten
        put_le64(r, 16, namespace_blocks() - 1);
        copy_out(data, r);
        v = 0;  // one entry
    }
    if (fid == 0x0C && !data.empty()) {
        if (!controller_to_host(dir, data)) return {st::kInvalidField, 0};
        copy_out(data, apst_table_);
    }
    return {st::kSuccess, v};
}

NvmeResult SimNvmeController::set_features(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    uint32_t cdw10 = c.cdw(10), cdw11 = c.cdw(11);
    uint8_t fid = static_cast<uint8_t>(cdw10);
    bool save = (cdw10 & 0x80000000u) != 0;
    if (!feature_known(fid)) return {st::kInvalidField, 0};
    uint32_t value = cdw11;
    uint32_t dw0 = 0;
    switch (fid) {
        case 0x02:
            if ((cdw11 & 0x1F) >= kPowerStates) return {st::kInvalidField, 0};
            value = cdw11 & 0xFF;
            break;
        case 0x03: return {st::kFeatureNotChangeable, 0};
        case 0x04: {
            uint32_t tmpsel = (cdw11 >> 16) & 0xF, thsel = (cdw11 >> 20) & 0x3;
            if ((tmpsel > kSensors && tmpsel != 0xF) || thsel > 1) return {st::kInvalidField, 0};
            value = cdw11 & 0xFFFF;
            auto store_one = [&](uint32_t sensor) {
                uint32_t key = 0x04 | (((thsel << 4) | sensor) << 8);
                current_features_[key] = value;
                if (save) saved_features_[key] = value;
            };
            if (tmpsel == 0xF) {
                for (uint32_t s = 0; s <= kSensors; ++s) store_one(s);
            } else {
                store_one(tmpsel);
            }
            if (save) state_dirty = true;
            return {};
        }
        case 0x05:
            if (cdw11 & 0x10000) return {st::kInvalidField, 0};  // no deallocated-block error reporting
            value = cdw11 & 0xFFFF;
            break;
        case 0x06: value = cdw11 & 1; break;
        case 0x07: {
            if (save) return {st::kFeatureNotSaveable, 0};
            uint32_t nsq = cdw11 & 0xFFFF, ncq = cdw11 >> 16;
            if (nsq == 0xFFFF || ncq == 0xFFFF) return {st::kInvalidField, 0};
            value = std::min<uint32_t>(nsq, 63) | (std::min<uint32_t>(ncq, 63) << 16);
            dw0 = value;
            break;
        }
        case 0x08: value = cdw11 & 0xFFFF; break;
        case 0x09:
            if ((cdw11 & 0xFFFF) >= 64) return {st::kInvalidField, 0};
            value = cdw11 & 0x1FFFF;
            break;
        case 0x0A: value = cdw11 & 1; break;
        case 0x0B: value = cdw11 & 0x00007FFF; break;
        case 0x0C:
            if (!data.empty()) {
                if (!host_to_controller(dir, data)) return {st::kInvalidField, 0};
                std::memcpy(apst_table_.data(), data.data(), std::min(data.size(), apst_table_.size()));
            }
            value = cdw11 & 1;
            break;
        case 0x10: {
            uint32_t t1 = cdw11 >> 16, t2 = cdw11 & 0xFFFF;
            auto in_range = [](uint32_t t) { return t == 0 || (t >= kMntmt && t <= kMxtmt); };
            if (!in_range(t1) || !in_range(t2) || (t1 && t2 && t1 >= t2)) return {st::kInvalidField, 0};
            break;
        }
        default: break;
    }
    uint32_t key = feature_key(fid, cdw11);
    current_features_[key] = value;
    if (save) {
        saved_features_[key] = value;
        state_dirty = true;
    }
    if (fid == 0x06) store_.set_write_cache(value & 1);
    return {st::kSuccess, dw0};
}

// ---- firmware ------------------------------------------------------------

NvmeResult SimNvmeController::firmware_download(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    uint64_t bytes = (static_cast<uint64_t>(c.cdw(10)) + 1) * 4;
    uint64_t offset = static_cast<uint64_t>(c.cdw(11)) * 4;
    if (dir != DataDir::Out || data.size() < bytes) return {st::kInvalidField, 0};
    if (offset + bytes > (32u << 20)) return {st::kInvalidField, 0};
    if (offset == 0) download_.clear();
    if (offset < download_.size()) return {st::kFwOverlappingRange, 0};
    if (offset > download_.size()) return {st::kInvalidField, 0};
    download_.insert(download_.end(), data.begin(), data.begin() + static_cast<ptrdiff_t>(bytes));
    return {};
}

NvmeResult SimNvmeController::firmware_commit(const NvmeCommand& c) {
    uint32_t cdw10 = c.cdw(10);
    int fs = static_cast<int>(cdw10 & 0x7);
    int ca = static_cast<int>((cdw10 >> 3) & 0x7);
    int slots = static_cast<int>(config_.fw_slots);
    if (ca > 3) return {st::kInvalidField, 0};
    bool replaces = ca != 2;
    if (fs == 0) {
        if (!replaces) return {st::kInvalidFirmwareSlot, 0};
        // The controller picks a writable slot other than the running one.
        for (int s = 1; s <= slots && fs == 0; ++s) {
            if (s == active_slot_ || (s == 1 && config_.slot1_readonly)) continue;
            fs = s;
        }
        if (fs == 0) fs = active_slot_ == 1 && config_.slot1_readonly ? 0 : active_slot_;
        if (fs == 0) return {st::kInvalidFirmwareSlot, 0};
    }
    if (fs > slots) return {st::kInvalidFirmwareSlot, 0};
    if (replaces) {
        if (fs == 1 && config_.slot1_readonly) return {st::kInvalidFirmwareSlot, 0};
        if (download_.size() < 4) return {st::kInvalidFirmwareImage, 0};
        slots_[fs - 1] = firmware_image_revision(download_);
        download_.clear();
        state_dirty = true;
    } else if (slots_[fs - 1].empty()) {
        return {st::kInvalidFirmwareImage, 0};
    }
    if (ca == 0) return {};
    if (ca == 3 && config_.activate_without_reset) {
        active_slot_ = fs;
        pending_slot_ = 0;
        running_fw_ = slots_[fs - 1];
        state_dirty = true;
        return {};
    }
    pending_slot_ = fs;
    state_dirty = true;
    if (ca == 3) return {st::kFwNeedsConventionalReset, 0};
    return {};
}

// ---- format, security ----------------------------------------------------

NvmeResult SimNvmeController::format(const NvmeCommand& c) {
    uint32_t cdw10 = c.cdw(10);
    uint32_t nsid = c.nsid();
    if (nsid != kNsid && nsid != 0xFFFFFFFF) return {st::kInvalidNamespace, 0};
    uint32_t lbaf = (cdw10 & 0xF) | (((cdw10 >> 12) & 0x3) << 4);
    uint32_t pi = (cdw10 >> 5) & 0x7;
    uint32_t ses = (cdw10 >> 9) & 0x7;
    if (lbaf > 1 || pi != 0) return {st::kInvalidFormat, 0};
    if (ses > 2) return {st::kInvalidField, 0};
    if (!store_.zero_all()) return {st::kInternalError, 0};
    lba_format_ = static_cast<uint8_t>(lbaf);
    state_dirty = true;
    return {};
}

NvmeResult SimNvmeController::security_receive(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    if (!controller_to_host(dir, data)) return {st::kInvalidField, 0};
    uint32_t cdw10 = c.cdw(10);
    uint8_t secp = static_cast<uint8_t>(cdw10 >> 24);
    uint16_t spsp = static_cast<uint16_t>(cdw10 >> 8);
    uint32_t al = c.cdw(11);
    if (secp != 0x00) return {st::kInvalidField, 0};
    std::vector<uint8_t> out(16, 0);
    if (spsp == 0x0000) {  // supported security protocols: just this list
        put_be16(out, 6, 1);
        out[8] = 0x00;
    } else if (spsp != 0x0001) {  // 0x0001: certificate data, none
        return {st::kInvalidField, 0};
    }
    size_t n = std::min<size_t>(al, data.size());
    copy_out(data.first(n), out);
    return {};
}

NvmeResult SimNvmeController::security_send(const NvmeCommand&, DataDir, std::span<uint8_t>) {
    return {st::kInvalidField, 0};  // no protocol takes data
}

// ---- NVM command set -----------------------------------------------------

uint16_t SimNvmeController::host_read(uint64_t lba, uint32_t blocks, std::span<uint8_t> out) {
    uint64_t n = namespace_blocks();
    if (lba > n || blocks > n - lba) return st::kLbaOutOfRange;
    uint64_t bytes = static_cast<uint64_t>(blocks) * block_size();
    if (out.size() < bytes) return st::kInvalidField;
    if (!store_.read(lba * block_size(), out.first(static_cast<size_t>(bytes)))) {
        ++counters_.media_errors;
        return nvme_status::sc(2, 0x81);  // unrecovered read error
    }
    account_io(bytes, false);
    return st::kSuccess;
}

uint16_t SimNvmeController::host_write(uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) {
    uint64_t n = namespace_blocks();
    if (lba > n || blocks > n - lba) return st::kLbaOutOfRange;
    uint64_t bytes = static_cast<uint64_t>(blocks) * block_size();
    if (in.size() < bytes) return st::kInvalidField;
    if (!store_.write(lba * block_size(), in.first(static_cast<size_t>(bytes)), fua)) {
        ++counters_.media_errors;
        return nvme_status::sc(2, 0x80);  // write fault
    }
    account_io(bytes, true);
    return st::kSuccess;
}

uint16_t SimNvmeController::host_flush() { return store_.flush() ? st::kSuccess : st::kInternalError; }

uint16_t SimNvmeController::host_deallocate(uint64_t lba, uint64_t blocks) {
    uint64_t n = namespace_blocks();
    if (lba > n || blocks > n - lba) return st::kLbaOutOfRange;
    return store_.trim(lba * block_size(), blocks * block_size()) ? st::kSuccess : st::kInternalError;
}

NvmeResult SimNvmeController::dataset_management(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    if (!config_.trim) return {st::kInvalidOpcode, 0};
    uint32_t ranges = (c.cdw(10) & 0xFF) + 1;
    bool deallocate = (c.cdw(11) & 0x4) != 0;
    if (dir != DataDir::Out || data.size() < ranges * 16) return {st::kInvalidField, 0};
    uint64_t n = namespace_blocks();
    for (uint32_t i = 0; i < ranges; ++i) {  // check all before changing any
        uint64_t len = get_le32(data, i * 16 + 4), start = get_le64(data, i * 16 + 8);
        if (start > n || len > n - start) return {st::kLbaOutOfRange, 0};
    }
    if (!deallocate) return {};
    for (uint32_t i = 0; i < ranges; ++i) {
        uint64_t len = get_le32(data, i * 16 + 4), start = get_le64(data, i * 16 + 8);
        if (uint16_t s = host_deallocate(start, len)) return {s, 0};
    }
    return {};
}

NvmeResult SimNvmeController::io(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data) {
    uint8_t op = c.opcode();
    uint32_t nsid = c.nsid();
    if (op == kIoFlush) {
        if (nsid != kNsid && nsid != 0xFFFFFFFF) return {st::kInvalidNamespace, 0};
        return {host_flush(), 0};
    }
    if (op != kIoWrite && op != kIoRead && op != kIoCompare && op != kIoWriteZeroes && op != kIoDsm)
        return {st::kInvalidOpcode, 0};
    if (nsid != kNsid) return {st::kInvalidNamespace, 0};
    if (vendor_ && vendor_->rom_mode()) return {st::kNamespaceNotReady, 0};  // no firmware, no medium
    if (op == kIoDsm) return dataset_management(c, dir, data);
    uint64_t slba = c.cdw(10) | (static_cast<uint64_t>(c.cdw(11)) << 32);
    uint32_t nlb = (c.cdw(12) & 0xFFFF) + 1;
    bool fua = (c.cdw(12) & (1u << 30)) != 0;
    uint64_t n = namespace_blocks();
    if (slba > n || nlb > n - slba) return {st::kLbaOutOfRange, 0};
    switch (op) {
        case kIoRead:
            if (dir != DataDir::In) return {st::kInvalidField, 0};
            return {host_read(slba, nlb, data), 0};
        case kIoWrite:
            if (dir != DataDir::Out) return {st::kInvalidField, 0};
            return {host_write(slba, nlb, data, fua), 0};
        case kIoCompare: {
            if (dir != DataDir::Out) return {st::kInvalidField, 0};
            uint64_t bytes = static_cast<uint64_t>(nlb) * block_size();
            if (data.size() < bytes) return {st::kInvalidField, 0};
            std::vector<uint8_t> media(static_cast<size_t>(bytes));
            if (uint16_t s = host_read(slba, nlb, media)) return {s, 0};
            if (std::memcmp(media.data(), data.data(), media.size()) != 0) return {st::kCompareFailure, 0};
            return {};
        }
        case kIoWriteZeroes: {
            uint16_t s = host_deallocate(slba, nlb);
            if (s == st::kSuccess) ++counters_.host_writes;
            return {s, 0};
        }
        default: return {st::kInvalidOpcode, 0};
    }
}

// ---- persistent state ----------------------------------------------------

std::map<std::string, std::string> SimNvmeController::save_state() const {
    std::map<std::string, std::string> m;
    for (int s = 0; s < 7; ++s) {
        if (!slots_[s].empty()) m["fw.slot" + std::to_string(s + 1)] = slots_[s];
    }
    m["fw.active"] = std::to_string(active_slot_);
    m["fw.pending"] = std::to_string(pending_slot_);
    m["fw.running"] = running_fw_;
    m["ns.lbaf"] = std::to_string(lba_format_);
    for (const auto& [k, v] : saved_features_) m["feat." + std::to_string(k)] = std::to_string(v);
    m["cnt.units_read"] = std::to_string(counters_.units_read);
    m["cnt.units_written"] = std::to_string(counters_.units_written);
    m["cnt.host_reads"] = std::to_string(counters_.host_reads);
    m["cnt.host_writes"] = std::to_string(counters_.host_writes);
    m["cnt.busy_us"] = std::to_string(counters_.busy_us);
    m["cnt.power_cycles"] = std::to_string(counters_.power_cycles);
    m["cnt.power_on_s"] = std::to_string(power_on_seconds());
    m["cnt.unsafe_shutdowns"] = std::to_string(counters_.unsafe_shutdowns);
    m["cnt.media_errors"] = std::to_string(counters_.media_errors);
    m["cnt.error_count"] = std::to_string(counters_.error_count);
    if (vendor_) vendor_->save_state(m);
    return m;
}

void SimNvmeController::load_state(const std::map<std::string, std::string>& m) {
    auto num = [&](const std::string& k, uint64_t fallback) -> uint64_t {
        auto it = m.find(k);
        if (it == m.end()) return fallback;
        char* end = nullptr;
        unsigned long long v = std::strtoull(it->second.c_str(), &end, 10);
        return end && *end == 0 ? v : fallback;
    };
    for (int s = 0; s < 7; ++s) {
        auto it = m.find("fw.slot" + std::to_string(s + 1));
        if (it != m.end()) slots_[s] = it->second.substr(0, 8);
    }
    int slots = static_cast<int>(config_.fw_slots);
    int active = static_cast<int>(num("fw.active", 1));
    if (active >= 1 && active <= slots && !slots_[active - 1].empty()) active_slot_ = active;
    int pending = static_cast<int>(num("fw.pending", 0));
    pending_slot_ = pending >= 1 && pending <= slots && !slots_[pending - 1].empty() ? pending : 0;
    auto run = m.find("fw.running");
    running_fw_ = run != m.end() ? run->second.substr(0, 8) : slots_[active_slot_ - 1];
    uint64_t lbaf = num("ns.lbaf", lba_format_);
    if (lbaf <= 1) lba_format_ = static_cast<uint8_t>(lbaf);
    for (const auto& [k, v] : m) {
        if (k.rfind("feat.", 0) != 0) continue;
        saved_features_[static_cast<uint32_t>(std::strtoul(k.c_str() + 5, nullptr, 10))] =
            static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
    }
    counters_.units_read = num("cnt.units_read", counters_.units_read);
    counters_.units_written = num("cnt.units_written", counters_.units_written);
    counters_.host_reads = num("cnt.host_reads", counters_.host_reads);
    counters_.host_writes = num("cnt.host_writes", counters_.host_writes);
    counters_.busy_us = num("cnt.busy_us", counters_.busy_us);
    counters_.power_cycles = num("cnt.power_cycles", counters_.power_cycles);
    counters_.power_on_s = num("cnt.power_on_s", counters_.power_on_s);
    counters_.unsafe_shutdowns = num("cnt.unsafe_shutdowns", counters_.unsafe_shutdowns);
    counters_.media_errors = num("cnt.media_errors", counters_.media_errors);
    counters_.error_count = num("cnt.error_count", counters_.error_count);
    powered_since_ = clock_.now_seconds();
    if (vendor_) {
        vendor_->load_state(m);
        vendor_->take_dirty();
    }
    apply_saved_features();
    state_dirty = false;
}

}  // namespace tb::sim
