#include "platform/sim/sim_ata.h"

#include "platform/sim/sim_pattern_images.h"
#include "platform/sim/sim_vendor_ata.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tb::sim {

using namespace ata_reg;

namespace {

constexpr double kShortTestSeconds = 2.0;
constexpr double kExtendedTestSeconds = 10.0;

AtaOutput abort_out() {
    AtaOutput o;
    o.status = kStatusError;
    o.error = kErrAbort;
    return o;
}

AtaOutput error_out(uint8_t error, uint64_t lba) {
    AtaOutput o;
    o.status = kStatusError;
    o.error = error;
    o.lba = lba;
    return o;
}

void checksum_last_byte(std::vector<uint8_t>& d) {
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < d.size(); ++i) sum = static_cast<uint8_t>(sum + d[i]);
    d.back() = static_cast<uint8_t>(-sum);
}

uint64_t hash64(std::string_view s, uint64_t seed) {
    uint64_t h = 1469598103934665603ull ^ seed;
    for (char c : s) h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    return h;
}

bool is_read(uint8_t c) { return c == 0x20 || c == 0x24 || c == 0x29 || c == 0xC4 || c == 0xC8 || c == 0x25; }
bool is_multiple(uint8_t c) { return c == 0x29 || c == 0xC4 || c == 0x39 || c == 0xC5 || c == 0xCE; }
bool is_fua(uint8_t c) { return c == 0xCE || c == 0x3D; }

}  // namespace

bool SimSataDisk::is_48bit(uint8_t c) {
    switch (c) {
        case 0x24: case 0x25: case 0x26: case 0x27: case 0x29: case 0x2F: case 0x34: case 0x35: case 0x36:
        case 0x39: case 0x3D: case 0x3E: case 0x42: case 0xCE: case 0x06: case 0xEA:
            return true;
        default: return false;
    }
}

std::optional<AtaProtocol> SimSataDisk::protocol_of(uint8_t c, bool* either) {
    if (either) *either = false;
    switch (c) {
        case 0xEC: case 0x20: case 0x24: case 0x29: case 0xC4: return AtaProtocol::PioIn;
        case 0xC8: case 0x25: return AtaProtocol::DmaIn;
        case 0x30: case 0x34: case 0x39: case 0xC5: case 0xCE: case 0xF1: case 0xF2: case 0xF4: case 0xF6:
        case 0x92:
            return AtaProtocol::PioOut;
        case 0xCA: case 0x35: case 0x3D: case 0x93: return AtaProtocol::DmaOut;
        case 0x06:
            if (either) *either = true;
            return AtaProtocol::DmaOut;
        case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE5: case 0xE7: case 0xEA: case 0xF3: case 0xF5:
        case 0xEF: case 0xC6: case 0x40: case 0x42: case 0xF8: case 0x27: case 0x90:
            return AtaProtocol::NonData;
        default: return std::nullopt;  // SMART and the rest depend on the feature
    }
}

SimSataDisk::SimSataDisk(const DiskConfig& config, BackingStore& store, FaultInjector& faults, const SimClock& clock)
    : config_(config), store_(store), faults_(faults), clock_(clock) {
    firmware_ = config_.firmware;
    counters_.power_on_s = config_.power_on_hours * 3600;
    counters_.power_cycles = config_.power_cycles;
    counters_.unsafe_shutdowns = config_.unsafe_shutdowns;
    powered_since_ = clock_.now_seconds();
    heat_time_ = powered_since_;
    write_cache_ = config_.write_cache;
    store_.set_cache_size(config_.cache_size);
    store_.set_write_cache(write_cache_);
    sec_.frozen = config_.security_frozen;
    if (config_.vendor.kind == VendorKind::Ata) {
        VendorDeviceHooks hooks;
        hooks.clear_health_counters = [this] { clear_health_counters(); };
        hooks.empty_mapping = [this] { return store_.zero_all(); };  // the whole medium reads zeros
        hooks.medium_bytes = [this] { return store_.size(); };
        hooks.block_size = [] { return 512u; };
        hooks.power_on_ms = [this] { return power_on_seconds() * 1000; };
        hooks.running_firmware = [this] { return firmware_; };
        vendor_ = std::make_unique<SimVendorAta>(config_, std::move(hooks));
        vendor_->vendor().reset();
    }
}

SimSataDisk::~SimSataDisk() = default;

uint64_t SimSataDisk::sector_count() const {
    return (vendor_ ? vendor_->vendor().shown_bytes(store_.size()) : store_.size()) / 512;
}

void SimSataDisk::clear_health_counters() {
    counters_ = Counters{};
    powered_since_ = clock_.now_seconds();
    state_dirty = true;
}

// ---- power ---------------------------------------------------------------

uint64_t SimSataDisk::power_on_seconds() const {
    uint64_t s = counters_.power_on_s;
    if (powered_) s += static_cast<uint64_t>(std::max(0.0, clock_.now_seconds() - powered_since_));
    return s;
}

void SimSataDisk::power_off(bool graceful) {
    if (!powered_) return;
    counters_.power_on_s = power_on_seconds();
    if (graceful || safe_to_cut_) {
        store_.flush();
    } else {
        store_.power_loss();
        ++counters_.unsafe_shutdowns;
    }
    powered_ = false;
    download_.clear();
    test_kind_ = 0;
    if (vendor_) vendor_->power_off();
    state_dirty = true;
}

void SimSataDisk::power_on() {
    if (powered_) return;
    powered_ = true;
    powered_since_ = clock_.now_seconds();
    ++counters_.power_cycles;
    if (!pending_firmware_.empty()) {
        firmware_ = pending_firmware_;
        pending_firmware_.clear();
    }
    power_mode_ = 0xFF;
    safe_to_cut_ = false;
    write_cache_ = config_.write_cache;
    store_.set_write_cache(write_cache_);
    multiple_ = 16;
    sec_.locked = sec_.enabled;
    sec_.frozen = config_.security_frozen;
    sec_.attempts = 5;
    sec_.count_expired = false;
    sec_.erase_prepared = false;
    if (vendor_) vendor_->vendor().reset();
    state_dirty = true;
}

void SimSataDisk::wake() { power_mode_ = 0xFF; }

int SimSataDisk::temperature_c() const {
    double now = clock_.now_seconds();
    double heat = heat_ * std::exp(-(now - heat_time_) / 60.0);
    return config_.temperature_c + static_cast<int>(std::lround(heat));
}

void SimSataDisk::account(uint64_t sectors, bool write) {
    if (write) counters_.sectors_written += sectors;
    else counters_.sectors_read += sectors;
    double now = clock_.now_seconds();
    heat_ = heat_ * std::exp(-(now - heat_time_) / 60.0) + static_cast<double>(sectors) * 512.0 / (1 << 30) * 4.0;
    heat_ = std::min(heat_, 25.0);
    heat_time_ = now;
}

// ---- identify ------------------------------------------------------------

std::vector<uint8_t> SimSataDisk::identify_data() const {
    std::vector<uint8_t> d(512, 0);
    std::span<uint8_t> b(d);
    auto w = [&](int word, uint16_t v) { put_le16(b, static_cast<size_t>(word) * 2, v); };
    uint64_t n = sector_count();
    w(0, 0x0040);
    w(1, 16383);
    w(3, 16);
    w(6, 63);
    // A written vendor configuration names the disk.
    const VendorIdentity* named = vendor_ && vendor_->vendor().identity() ? &*vendor_->vendor().identity() : nullptr;
    put_ata_string(b, 10, 10, named ? named->serial : config_.serial);
    put_ata_string(b, 23, 4, named ? named->firmware : firmware_);
    put_ata_string(b, 27, 20, named ? named->model : config_.model);
    w(47, 0x8010);
    w(48, 0x4000);
    w(49, 0x2F00);
    w(50, 0x4000);
    w(53, 0x0007);
    w(54, 16383);
    w(55, 16);
    w(56, 63);
    uint32_t chs = 16383u * 16u * 63u;
    w(57, static_cast<uint16_t>(chs));
    w(58, static_cast<uint16_t>(chs >> 16));
    w(59, static_cast<uint16_t>((multiple_ ? 0x0100 : 0) | multiple_));
    uint32_t lba28 = static_cast<uint32_t>(std::min<uint64_t>(n, 0x0FFFFFFF));
    w(60, static_cast<uint16_t>(lba28));
    w(61, static_cast<uint16_t>(lba28 >> 16));
    w(63, 0x0007);
    w(64, 0x0003);
    w(65, 120);
    w(66, 120);
    w(67, 120);
    w(68, 120);
    w(69, 0x4020);  // deterministic, zeroed data after TRIM
    w(75, 31);
    w(76, 0x010E);  // SATA 1.5, 3.0, 6.0 Gbps, NCQ
    w(77, 0x0006);  // current: 6.0 Gbps
    w(78, 0x0048);
    w(79, 0x0040);
    w(80, 0x07E0);  // ATA-5 .. ACS-3
    w(81, 0x011B);
    w(82, 0x706B);
    w(83, 0x7401);
    w(84, 0x4163);
    // Word 85 mirrors word 82 with what is enabled now (power management,
    // look-ahead, buffers and NOP always).
    w(85, static_cast<uint16_t>(0x7048 | (smart_enabled_ ? 0x0001 : 0) | (sec_.enabled ? 0x0002 : 0) |
                                (write_cache_ ? 0x0020 : 0)));
    w(86, 0xB401);
    w(87, 0x4163);
    w(88, 0x407F);  // UDMA 0-6 supported, mode 6 selected
    w(89, 1);
    w(90, 1);
    w(92, sec_.master_id);
    for (int i = 0; i < 4; ++i) w(100 + i, static_cast<uint16_t>(n >> (16 * i)));
    w(106, 0x6003);  // 4 KiB physical sectors of 512-byte logical sectors
    uint64_t id = hash64(config_.serial, 0x77) & 0xFFFFFFFFFull;
    uint64_t wwn = (5ull << 60) | (0x001F9Aull << 36) | id;
    for (int i = 0; i < 4; ++i) w(108 + i, static_cast<uint16_t>(wwn >> (16 * (3 - i))));
    w(119, 0x4010);
    w(120, 0x4010);
    uint16_t sec = 0x0021;  // supported, enhanced erase supported
    if (sec_.enabled) sec |= 0x0002;
    if (sec_.locked) sec |= 0x0004;
    if (sec_.frozen) sec |= 0x0008;
    if (sec_.count_expired) sec |= 0x0010;
    if (sec_.maximum_level) sec |= 0x0100;
    w(128, sec);
    w(169, config_.trim ? 0x0001 : 0x0000);  // TRIM
    w(209, 0x4000);
    w(217, 0x0001);  // solid state
    w(222, 0x10FF);
    d[510] = 0xA5;
    checksum_last_byte(d);
    return d;
}

// ---- SMART ---------------------------------------------------------------

uint8_t SimSataDisk::self_test_status(uint8_t* percent_left) const {
    *percent_left = 0;
    if (test_kind_ == 0) return self_tests_.empty() ? 0 : static_cast<uint8_t>(self_tests_.back().status >> 4);
    double done = (clock_.now_seconds() - test_start_) / test_length_;
    *percent_left = static_cast<uint8_t>(std::clamp(static_cast<int>(std::ceil((1.0 - done) * 10.0)), 1, 9));
    return 15;
}

std::vector<uint8_t> SimSataDisk::smart_data() const {
    std::vector<uint8_t> d(512, 0);
    std::span<uint8_t> b(d);
    put_le16(b, 0, 0x0010);
    struct Attr {
        uint8_t id;
        uint16_t flags;
        uint8_t current;
        uint64_t raw;
    };
    uint64_t hours = power_on_seconds() / 3600;
    uint64_t avg_erase = counters_.sectors_written * 512 / std::max<uint64_t>(1, store_.size());
    int t = temperature_c();
    uint64_t temp_raw = static_cast<uint64_t>(t) | (static_cast<uint64_t>(config_.temperature_c) << 16) |
                        (static_cast<uint64_t>(std::max(t, config_.temperature_c + 5)) << 32);
    const Attr attrs[] = {
        {0x05, 0x0033, 100, 0},
        {0x09, 0x0032, 100, hours},
        {0x0C, 0x0032, 100, counters_.power_cycles},
        {0xAB, 0x0032, 100, 0},
        {0xAC, 0x0032, 100, 0},
        {0xAD, 0x0032, static_cast<uint8_t>(100 - std::min<uint64_t>(99, avg_erase / 30)), avg_erase},
        {0xAE, 0x0032, 100, counters_.unsafe_shutdowns},
        {0xBB, 0x0032, 100, counters_.uncorrectable},
        {0xC2, 0x0022, static_cast<uint8_t>(std::clamp(100 - t, 1, 100)), temp_raw},
        {0xC7, 0x0032, 100, counters_.crc_errors},
        {0xEA, 0x0032, 100, avg_erase | ((avg_erase + avg_erase / 8) << 16)},
        {0xF1, 0x0032, 100, counters_.sectors_written * 512 / (32ull << 20)},
        {0xF2, 0x0032, 100, counters_.sectors_read * 512 / (32ull << 20)},
    };
    size_t at = 2;
    for (const auto& a : attrs) {
        b[at] = a.id;
        put_le16(b, at + 1, a.flags);
        b[at + 3] = a.current;
        b[at + 4] = a.current;  // worst
        for (int i = 0; i < 6; ++i) b[at + 5 + i] = static_cast<uint8_t>(a.raw >> (8 * i));
        at += 12;
    }
    uint8_t left = 0;
    uint8_t status = self_test_status(&left);
    b[362] = 0x02;  // off-line collection completed
    b[363] = static_cast<uint8_t>((status << 4) | left);
    put_le16(b, 364, 30);
    b[367] = 0x5B;  // off-line immediate, auto off-line, read scanning, self-test, selective self-test
    put_le16(b, 368, 0x0003);
    b[370] = 0x01;
    b[372] = 1;  // short self-test polling time (minutes)
    b[373] = 2;  // extended
    checksum_last_byte(d);
    return d;
}

std::vector<uint8_t> SimSataDisk::smart_thresholds() const {
    std::vector<uint8_t> d(512, 0);
    put_le16(d, 0, 0x0010);
    const std::pair<uint8_t, uint8_t> thr[] = {{0x05, 10}, {0x09, 0}, {0x0C, 0}, {0xAB, 0}, {0xAC, 0},
                                               {0xAD, 5},  {0xAE, 0}, {0xBB, 0}, {0xC2, 0}, {0xC7, 0},
                                               {0xEA, 0},  {0xF1, 0}, {0xF2, 0}};
    size_t at = 2;
    for (auto [id, t] : thr) {
        d[at] = id;
        d[at + 1] = t;
        at += 12;
    }
    checksum_last_byte(d);
    return d;
}

std::vector<uint8_t> SimSataDisk::smart_log(uint8_t address, bool* ok) const {
    *ok = true;
    std::vector<uint8_t> d(512, 0);
    if (address == 0x00) {  // directory: sectors per log
        put_le16(d, 0, 1);
        put_le16(d, 0x01 * 2, 1);
        put_le16(d, 0x06 * 2, 1);
        put_le16(d, 0x09 * 2, 1);
        for (int a = 0x80; a <= 0x9F; ++a) put_le16(d, static_cast<size_t>(a) * 2, 16);
        return d;
    }
    if (address == 0x01) {  // summary error log: no errors
        d[0] = 1;
        checksum_last_byte(d);
        return d;
    }
    if (address == 0x06) {  // self-test log: the newest 21 entries
        put_le16(d, 0, 1);
        size_t first = self_tests_.size() > 21 ? self_tests_.size() - 21 : 0;
        for (size_t i = first; i < self_tests_.size(); ++i) {
            size_t at = 2 + (i - first) * 24;
            d[at] = self_tests_[i].subcommand;
            d[at + 1] = self_tests_[i].status;
            put_le16(d, at + 2, self_tests_[i].hours);
        }
        d[508] = static_cast<uint8_t>(std::min<size_t>(self_tests_.size(), 21));
        checksum_last_byte(d);
        return d;
    }
    if (address == 0x09) {
        put_le16(d, 0, 1);
        checksum_last_byte(d);
        return d;
    }
    if (address >= 0x80 && address <= 0x9F) {
        auto it = host_logs_.find(address);
        d.assign(16 * 512, 0);
        if (it != host_logs_.end()) std::copy(it->second.begin(), it->second.end(), d.begin());
        return d;
    }
    *ok = false;
    return {};
}

AtaOutput SimSataDisk::smart(const AtaCommand& c, std::span<uint8_t> data) {
    uint8_t mid = static_cast<uint8_t>(c.lba >> 8), high = static_cast<uint8_t>(c.lba >> 16);
    if (mid != 0x4F || high != 0xC2) return abort_out();
    uint8_t feature = static_cast<uint8_t>(c.feature);
    if (!smart_enabled_ && feature != 0xD8) return abort_out();
    AtaOutput o;
    o.lba = c.lba & 0xFFFF00;
    auto give = [&](const std::vector<uint8_t>& v) {
        if (data.size() < v.size()) return abort_out();
        std::memcpy(data.data(), v.data(), v.size());
        AtaOutput ok = o;
        ok.transferred = static_cast<uint32_t>(v.size());
        return ok;
    };
    switch (feature) {
        case 0xD0: return give(config_.pattern_images ? pattern_ata_smart_data() : smart_data());
        case 0xD1: return give(config_.pattern_images ? pattern_ata_smart_thresholds() : smart_thresholds());
        case 0xD2: return o;  // attribute autosave
        case 0xD4: {
            uint8_t sub = static_cast<uint8_t>(c.lba);
            uint16_t hours = static_cast<uint16_t>(power_on_seconds() / 3600);
            if (sub == 0) return o;  // off-line data collection: immediate
            if (sub == 127) {
                if (test_kind_) self_tests_.push_back({static_cast<uint8_t>(test_kind_), 0x10, hours});
                test_kind_ = 0;
                return o;
            }
            if (sub == 1 || sub == 2) {
                if (test_kind_) return abort_out();
                test_kind_ = sub;
                test_start_ = clock_.now_seconds();
                test_length_ = sub == 1 ? kShortTestSeconds : kExtendedTestSeconds;
                return o;
            }
            if (sub == 129 || sub == 130) {  // captive: runs to its end inside the command
                self_tests_.push_back({sub, 0x00, hours});
                return o;
            }
            return abort_out();
        }
        case 0xD5: {
            bool ok = false;
            auto log = smart_log(static_cast<uint8_t>(c.lba), &ok);
            uint32_t sectors = c.count & 0xFF;
            if (!ok || sectors == 0 || sectors * 512 > log.size()) return abort_out();
            log.resize(sectors * 512);
            return give(log);
        }
        case 0xD6: {
            uint8_t address = static_cast<uint8_t>(c.lba);
            uint32_t sectors = c.count & 0xFF;
            if (sectors == 0 || data.size() < sectors * 512) return abort_out();
            if (address == 0x09) {
                o.transferred = sectors * 512;
                return o;
            }
            if (address < 0x80 || address > 0x9F || sectors > 16) return abort_out();
            auto& log = host_logs_[address];
            log.assign(data.begin(), data.begin() + sectors * 512);
            o.transferred = sectors * 512;
            return o;
        }
        case 0xD8: smart_enabled_ = true; return o;
        case 0xD9: smart_enabled_ = false; return o;
        case 0xDA: o.lba = (0xC2u << 16) | (0x4Fu << 8); return o;  // threshold not exceeded
        default: return abort_out();
    }
}

// ---- reads and writes ----------------------------------------------------

AtaOutput SimSataDisk::host_read(uint64_t lba, uint32_t sectors, std::span<uint8_t> out) {
    if (lba > sector_count() || sectors > sector_count() - lba) return error_out(kErrIdnf, lba);
    uint64_t bytes = static_cast<uint64_t>(sectors) * 512;
    if (out.size() < bytes) return abort_out();
    if (!store_.read(lba * 512, out.first(static_cast<size_t>(bytes)))) {
        ++counters_.uncorrectable;
        return error_out(kErrUnc, lba);
    }
    wake();
    account(sectors, false);
    AtaOutput o;
    o.transferred = static_cast<uint32_t>(bytes);
    return o;
}

AtaOutput SimSataDisk::host_write(uint64_t lba, uint32_t sectors, std::span<const uint8_t> in, bool fua) {
    if (lba > sector_count() || sectors > sector_count() - lba) return error_out(kErrIdnf, lba);
    uint64_t bytes = static_cast<uint64_t>(sectors) * 512;
    if (in.size() < bytes) return abort_out();
    if (!store_.write(lba * 512, in.first(static_cast<size_t>(bytes)), fua || !write_cache_)) return error_out(kErrAbort, lba);
    wake();
    safe_to_cut_ = false;
    account(sectors, true);
    AtaOutput o;
    o.transferred = static_cast<uint32_t>(bytes);
    return o;
}

AtaOutput SimSataDisk::host_flush() {
    store_.flush();
    return {};
}

AtaOutput SimSataDisk::host_trim(uint64_t lba, uint64_t sectors) {
    if (lba > sector_count() || sectors > sector_count() - lba) return error_out(kErrIdnf, lba);
    if (!store_.trim(lba * 512, sectors * 512)) return abort_out();
    safe_to_cut_ = false;
    return {};
}

AtaOutput SimSataDisk::read_write(const AtaCommand& c, std::span<uint8_t> data) {
    bool ext = is_48bit(c.command);
    uint64_t lba;
    uint32_t count;
    if (ext) {
        lba = c.lba & 0xFFFFFFFFFFFFull;
        count = c.count ? c.count : 65536u;
    } else {
        if (!(c.device & 0x40)) return abort_out();  // CHS addressing is not supported
        lba = (c.lba & 0xFFFFFF) | (static_cast<uint64_t>(c.device & 0x0F) << 24);
        count = (c.count & 0xFF) ? (c.count & 0xFF) : 256u;
    }
    if (is_multiple(c.command) && multiple_ == 0) return abort_out();
    if (sec_.locked) return abort_out();
    if (data.size() < static_cast<uint64_t>(count) * 512) {
        // A zero count register means the maximum; take what the buffer holds.
        bool max_count = ext ? c.count == 0 : (c.count & 0xFF) == 0;
        if (!max_count || data.size() < 512) return abort_out();
        count = static_cast<uint32_t>(data.size() / 512);
    }
    if (is_read(c.command)) return host_read(lba, count, data);
    return host_write(lba, count, data, is_fua(c.command));
}

AtaOutput SimSataDisk::dsm(const AtaCommand& c, std::span<uint8_t> data) {
    if (!(c.feature & 0x01) || !config_.trim) return abort_out();  // only TRIM, where the disk has it
    if (sec_.locked) return abort_out();
    size_t blocks = c.count ? c.count : data.size() / 512;
    if (blocks == 0 || data.size() < blocks * 512) return abort_out();
    size_t entries = blocks * 512 / 8;
    for (size_t i = 0; i < entries; ++i) {  // check every range first
        uint64_t e = get_le64(data, i * 8);
        uint64_t lba = e & 0xFFFFFFFFFFFFull, len = e >> 48;
        if (len && (lba > sector_count() || len > sector_count() - lba)) return error_out(kErrIdnf, lba);
    }
    for (size_t i = 0; i < entries; ++i) {
        uint64_t e = get_le64(data, i * 8);
        if (e >> 48) host_trim(e & 0xFFFFFFFFFFFFull, e >> 48);
    }
    AtaOutput o;
    o.transferred = static_cast<uint32_t>(blocks * 512);
    return o;
}

// ---- firmware ------------------------------------------------------------

AtaOutput SimSataDisk::download_microcode(const AtaCommand& c, std::span<uint8_t> data) {
    uint8_t sub = static_cast<uint8_t>(c.feature);
    if (sec_.locked) return abort_out();
    uint32_t blocks = (c.count & 0xFF) | ((static_cast<uint32_t>(c.lba) & 0xFF) << 8);
    uint32_t offset_blocks = static_cast<uint32_t>((c.lba >> 8) & 0xFFFF);
    AtaOutput o;
    switch (sub) {
        case 0x03:
        case 0x0E: {
            if (blocks == 0 || data.size() < blocks * 512ull) return abort_out();
            uint64_t offset = static_cast<uint64_t>(offset_blocks) * 512;
            if (offset == 0) download_.clear();
            if (offset != download_.size() || offset + blocks * 512ull > (32u << 20)) return abort_out();
            download_.insert(download_.end(), data.begin(), data.begin() + blocks * 512);
            pending_firmware_ = firmware_image_revision(download_);
            state_dirty = true;
            o.transferred = blocks * 512;
            return o;
        }
        case 0x07: {
            if (blocks == 0 || data.size() < blocks * 512ull) return abort_out();
            std::span<const uint8_t> image(data.data(), blocks * 512);
            firmware_ = firmware_image_revision(image);
            pending_firmware_.clear();
            download_.clear();
            state_dirty = true;
            o.transferred = blocks * 512;
            return o;
        }
        case 0x0F:
            if (pending_firmware_.empty()) return abort_out();
            firmware_ = pending_firmware_;
            pending_firmware_.clear();
            download_.clear();
            state_dirty = true;
            return o;
        default: return abort_out();
    }
}

// ---- security ------------------------------------------------------------

AtaOutput SimSataDisk::security_command(const AtaCommand& c, std::span<uint8_t> data) {
    bool prepared = sec_.erase_prepared;
    sec_.erase_prepared = false;
    bool needs_data = c.command != 0xF3 && c.command != 0xF5;
    if (needs_data && data.size() < 512) return abort_out();
    uint16_t control = needs_data ? get_le16(data, 0) : 0;
    bool master = (control & 1) != 0;
    std::array<uint8_t, 32> pw{};
    if (needs_data) std::memcpy(pw.data(), data.data() + 2, 32);
    AtaOutput o;
    o.transferred = needs_data ? 512 : 0;
    auto wrong = [&] {
        if (sec_.attempts > 0 && --sec_.attempts == 0) sec_.count_expired = true;
        return abort_out();
    };
    switch (c.command) {
        case 0xF1:  // SET PASSWORD
            if (sec_.frozen || sec_.locked) return abort_out();
            if (master) {
                sec_.master = pw;
                uint16_t id = get_le16(data, 34);
                if (id != 0 && id != 0xFFFF) sec_.master_id = id;
            } else {
                sec_.user = pw;
                sec_.enabled = true;
                sec_.maximum_level = (control & 0x0100) != 0;
            }
            break;
        case 0xF2:  // UNLOCK
            if (sec_.frozen || sec_.count_expired) return abort_out();
            if (master ? !(pw == sec_.master && !(sec_.enabled && sec_.maximum_level))
                       : !(sec_.enabled && pw == sec_.user))
                return wrong();
            sec_.locked = false;
            sec_.attempts = 5;
            break;
        case 0xF3:  // ERASE PREPARE
            if (sec_.frozen) return abort_out();
            sec_.erase_prepared = true;
            break;
        case 0xF4:  // ERASE UNIT
            if (!prepared || sec_.frozen) return abort_out();
            if (master ? pw != sec_.master : !(sec_.enabled && pw == sec_.user)) return wrong();
            if (!store_.zero_all()) return abort_out();
            sec_.user.fill(0);
            sec_.enabled = sec_.locked = sec_.maximum_level = sec_.count_expired = false;
            sec_.attempts = 5;
            break;
        case 0xF5:  // FREEZE LOCK
            if (sec_.locked) return abort_out();
            sec_.frozen = true;
            break;
        case 0xF6:  // DISABLE PASSWORD
            if (sec_.locked) return abort_out();
            if (!sec_.enabled) break;  // nothing to disable
            if (sec_.frozen) return abort_out();
            if (master ? !(pw == sec_.master && !sec_.maximum_level) : pw != sec_.user) return wrong();
            sec_.user.fill(0);
            sec_.enabled = sec_.maximum_level = false;
            break;
        default: return abort_out();
    }
    state_dirty = true;
    return o;
}

// ---- dispatch ------------------------------------------------------------

AtaOutput SimSataDisk::execute(const AtaCommand& c, AtaProtocol protocol, std::span<uint8_t> data,
                               bool strict_protocol) {
    if (test_kind_ && clock_.now_seconds() - test_start_ >= test_length_) {
        self_tests_.push_back(
            {static_cast<uint8_t>(test_kind_), 0x00, static_cast<uint16_t>(power_on_seconds() / 3600)});
        test_kind_ = 0;
    }
    if (c.command < 0xF1 || c.command > 0xF6) sec_.erase_prepared = false;  // ERASE UNIT must follow PREPARE
    if (auto f = faults_.take_ata(c.command, c.feature)) {
        AtaOutput o;
        o.status = f->status;
        o.error = f->error;
        o.lba = c.lba;
        return o;
    }
    if (auto v = vendor_ ? vendor_->execute(c, protocol, data) : std::nullopt) {
        if (vendor_->vendor().take_dirty()) state_dirty = true;
        return *v;
    }
    // The transfer protocol must be the command's.
    bool either = false;
    std::optional<AtaProtocol> want = protocol_of(c.command, &either);
    if (c.command == 0xB0) {
        uint8_t f = static_cast<uint8_t>(c.feature);
        want = (f == 0xD0 || f == 0xD1 || f == 0xD5) ? AtaProtocol::PioIn
               : f == 0xD6                           ? AtaProtocol::PioOut
                                                     : AtaProtocol::NonData;
    } else if (c.command == 0x92 && (c.feature & 0xFF) == 0x0F) {
        want = AtaProtocol::NonData;
    }
    if (want) {
        auto direction = [](AtaProtocol p) {
            return p == AtaProtocol::PioIn || p == AtaProtocol::DmaIn ? 1 : p == AtaProtocol::NonData ? 0 : 2;
        };
        bool ok = protocol == *want;
        if (!ok && (either || !strict_protocol)) ok = direction(protocol) == direction(*want);
        if (!ok) return abort_out();
    }
    switch (c.command) {
        case 0xEC: {
            if (data.size() < 512) return abort_out();
            auto id = config_.pattern_images ? pattern_ata_identify() : identify_data();
            std::memcpy(data.data(), id.data(), 512);
            AtaOutput o;
            o.transferred = 512;
            return o;
        }
        case 0xB0: return smart(c, data);
        case 0x92:
        case 0x93: return download_microcode(c, data);
        case 0xF1: case 0xF2: case 0xF3: case 0xF4: case 0xF5: case 0xF6: return security_command(c, data);
        case 0x20: case 0x24: case 0x29: case 0xC4: case 0xC8: case 0x25:
        case 0x30: case 0x34: case 0x39: case 0xC5: case 0xCE: case 0xCA: case 0x35: case 0x3D:
            return read_write(c, data);
        case 0x06: return dsm(c, data);
        case 0xE7:
        case 0xEA: return host_flush();
        case 0xE0:
        case 0xE2:
            store_.flush();
            power_mode_ = 0x00;
            safe_to_cut_ = true;
            return {};
        case 0xE1:
        case 0xE3: power_mode_ = 0x80; return {};
        case 0xE5: {
            AtaOutput o;
            o.count = power_mode_;
            return o;
        }
        case 0xEF: {  // SET FEATURES
            switch (c.feature & 0xFF) {
                case 0x02: write_cache_ = true; store_.set_write_cache(true); return {};
                case 0x82: write_cache_ = false; store_.set_write_cache(false); return {};
                case 0x03: case 0x10: case 0x90: case 0x55: case 0xAA: case 0x66: case 0xCC: return {};
                default: return abort_out();
            }
        }
        case 0xC6: {  // SET MULTIPLE MODE
            uint8_t n = static_cast<uint8_t>(c.count);
            if (n > 16 || (n & (n - 1))) return abort_out();
            multiple_ = n;
            return {};
        }
        case 0x40:
        case 0x42: {  // READ VERIFY
            bool ext = c.command == 0x42;
            uint64_t lba = ext ? c.lba : ((c.lba & 0xFFFFFF) | (static_cast<uint64_t>(c.device & 0x0F) << 24));
            uint32_t count = ext ? (c.count ? c.count : 65536u) : ((c.count & 0xFF) ? (c.count & 0xFF) : 256u);
            if (lba > sector_count() || count > sector_count() - lba) return error_out(kErrIdnf, lba);
            return {};
        }
        case 0xF8: {
            AtaOutput o;
            uint64_t max = std::min<uint64_t>(sector_count() - 1, 0x0FFFFFFF);
            o.lba = max & 0xFFFFFF;
            o.device = static_cast<uint8_t>(0x40 | ((max >> 24) & 0x0F));
            return o;
        }
        case 0x27: {
            AtaOutput o;
            o.lba = sector_count() - 1;
            return o;
        }
        case 0x90: {
            AtaOutput o;
            o.error = 0x01;  // no error detected
            o.count = 1;
            o.lba = 1;
            return o;
        }
        default: return abort_out();
    }
}

// ---- persistent state ----------------------------------------------------

namespace {
std::string hex_bytes(const std::array<uint8_t, 32>& a) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : a) {
        s.push_back(d[b >> 4]);
        s.push_back(d[b & 15]);
    }
    return s;
}
void parse_hex_bytes(const std::string& s, std::array<uint8_t, 32>& a) {
    auto v = [](char c) { return c >= 'A' ? c - 'A' + 10 : c - '0'; };
    if (s.size() != 64) return;
    for (size_t i = 0; i < 32; ++i) a[i] = static_cast<uint8_t>(v(s[2 * i]) << 4 | v(s[2 * i + 1]));
}
}  // namespace

std::map<std::string, std::string> SimSataDisk::save_state() const {
    std::map<std::string, std::string> m;
    m["fw.running"] = firmware_;
    m["fw.pending"] = pending_firmware_;
    m["sec.enabled"] = sec_.enabled ? "1" : "0";
    m["sec.maximum"] = sec_.maximum_level ? "1" : "0";
    m["sec.locked"] = sec_.locked ? "1" : "0";
    m["sec.frozen"] = sec_.frozen ? "1" : "0";
    m["sec.user"] = hex_bytes(sec_.user);
    m["sec.master"] = hex_bytes(sec_.master);
    m["sec.master_id"] = std::to_string(sec_.master_id);
    m["cnt.sectors_read"] = std::to_string(counters_.sectors_read);
    m["cnt.sectors_written"] = std::to_string(counters_.sectors_written);
    m["cnt.power_cycles"] = std::to_string(counters_.power_cycles);
    m["cnt.power_on_s"] = std::to_string(power_on_seconds());
    m["cnt.unsafe_shutdowns"] = std::to_string(counters_.unsafe_shutdowns);
    m["cnt.uncorrectable"] = std::to_string(counters_.uncorrectable);
    if (vendor_) vendor_->vendor().save_state(m);
    return m;
}

void SimSataDisk::load_state(const std::map<std::string, std::string>& m) {
    auto text = [&](const std::string& k) -> const std::string* {
        auto it = m.find(k);
        return it == m.end() ? nullptr : &it->second;
    };
    auto num = [&](const std::string& k, uint64_t fallback) -> uint64_t {
        const std::string* s = text(k);
        if (!s) return fallback;
        char* end = nullptr;
        unsigned long long v = std::strtoull(s->c_str(), &end, 10);
        return end && *end == 0 ? v : fallback;
    };
    if (auto s = text("fw.running"); s && !s->empty()) firmware_ = s->substr(0, 8);
    if (auto s = text("fw.pending")) pending_firmware_ = s->substr(0, 8);
    sec_.enabled = num("sec.enabled", 0) != 0;
    sec_.maximum_level = num("sec.maximum", 0) != 0;
    if (auto s = text("sec.user")) parse_hex_bytes(*s, sec_.user);
    if (auto s = text("sec.master")) parse_hex_bytes(*s, sec_.master);
    sec_.master_id = static_cast<uint16_t>(num("sec.master_id", sec_.master_id));
    sec_.locked = sec_.enabled && num("sec.locked", 0) != 0;
    sec_.frozen = num("sec.frozen", sec_.frozen) != 0;
    counters_.sectors_read = num("cnt.sectors_read", counters_.sectors_read);
    counters_.sectors_written = num("cnt.sectors_written", counters_.sectors_written);
    counters_.power_cycles = num("cnt.power_cycles", counters_.power_cycles);
    counters_.power_on_s = num("cnt.power_on_s", counters_.power_on_s);
    counters_.unsafe_shutdowns = num("cnt.unsafe_shutdowns", counters_.unsafe_shutdowns);
    counters_.uncorrectable = num("cnt.uncorrectable", counters_.uncorrectable);
    powered_since_ = clock_.now_seconds();
    if (vendor_) {
        vendor_->vendor().load_state(m);
        vendor_->vendor().take_dirty();
    }
    state_dirty = false;
}

}  // namespace tb::sim
