// Randomised fault injection against the data-integrity compare commands:
// every trial draws a command and a medium fault of the simulated disk,
// makes the fault hit at a random point of the command, and checks that
// the command finds it and sorts it as the family says (the loops and the
// range compare: -70 / -71 / -3 naming the first wrong LBA; the map compare:
// the affected sectors counted in their class at the unit's LBA, a power
// loss counted as unflushed losses only). Clean trials must report nothing.
//
// The draws leave out, by design, faults no command could see:
// - a dropped or misdirected write that would leave the sector's content
//   unchanged: every write carries its LBA and a sequence number unique in
//   the run (the map also a per-unit write count), and every trial starts
//   from a zeroed medium (the map's from its base data), so a write never
//   repeats what the sector held;
// - a stale read after a rewrite of the same content: the same reason;
// - a misdirected write whose intended place is outside the checked range:
//   faults hit requests of the command, so the intended place is always
//   inside it, and the range compare's misdirections land above the
//   intended piece so its first sector is the first wrong one;
// - faults on data the command has already verified and will never read
//   again (the loops verify each request once, right after writing it):
//   a fault always hits a write before its own read-back, or the read-back;
// - a power loss in the write/verify loops or the range compare: they read
//   every request back at once and never span a power cycle, which is the
//   map family's job; and a power loss that loses nothing the play's
//   progress record knows complete (right after a flush, or only writes
//   completed after the record's last save, which the compare rightly
//   takes as uncertain): such a draw is made again.
// A misdirected write of the loops runs with one request in flight, so the
// place it lands on cannot be another stream's request still waiting for
// its read-back (that stream could then report first, at its own LBA).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "disk/disk_discovery.h"
#include "disk/disk_record.h"
#include "disk/target_select.h"
#include "platform/sim/backing_store.h"
#include "platform/sim/sim_block_storage.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"
#include "ui/job_log.h"
#include "workload/engine.h"
#include "workload/lba_map.h"
#include "workload/map_progress.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSector = 512;
constexpr uint64_t kDiskBytes = 64ull << 20;
constexpr uint64_t kDiskSectors = kDiskBytes / kSector;

enum class Command { SeqLoop, RandLoop, Map, WithPattern };
enum class Fault { None, Corrupt, Drop, Misdirect, Stale, ReadError, PowerLoss };

const char* command_name(Command c) {
    switch (c) {
    case Command::SeqLoop: return "Compare_SeqReadWrite";
    case Command::RandLoop: return "Compare_RandReadWrite";
    case Command::Map: return "Compare_MapWrite+Compare_MapCompare";
    case Command::WithPattern: return "FullByPattern+Compare_WithPattern";
    }
    return "?";
}

const char* fault_name(Fault f) {
    switch (f) {
    case Fault::None: return "none";
    case Fault::Corrupt: return "corrupted write";
    case Fault::Drop: return "dropped write";
    case Fault::Misdirect: return "misdirected write";
    case Fault::Stale: return "stale read";
    case Fault::ReadError: return "read error";
    case Fault::PowerLoss: return "power loss";
    }
    return "?";
}

// The faults each command is meant to catch (see the notes at the top).
std::vector<Fault> faults_for(Command c) {
    std::vector<Fault> f = {Fault::Corrupt, Fault::Drop, Fault::Misdirect, Fault::Stale, Fault::ReadError};
    if (c == Command::Map) f.push_back(Fault::PowerLoss);
    return f;
}

sim::MediumFault fault_over(sim::FaultKind kind, uint64_t first_byte, uint64_t end_byte) {
    sim::MediumFault f;
    f.kind = kind;
    f.count = 1;
    f.first_byte = first_byte;
    f.last_byte = end_byte - 1;
    f.unit = kSector;
    return f;
}

sim::FaultKind kind_of(Fault f) {
    switch (f) {
    case Fault::Corrupt: return sim::FaultKind::CorruptWrite;
    case Fault::Drop: return sim::FaultKind::DropWrite;
    case Fault::Misdirect: return sim::FaultKind::MisdirectWrite;
    case Fault::Stale: return sim::FaultKind::StaleRead;
    default: return sim::FaultKind::ReadError;
    }
}

// One row of the map compare's detail file: a wrong unit.
struct DetailRow {
    uint64_t unit_lba = 0;
    uint64_t correct = 0, old_data = 0, zeros = 0, miscompare = 0, read_fail = 0;
    uint64_t error_lba = 0;
    uint64_t errors() const { return old_data + zeros + miscompare + read_fail; }
};

std::optional<uint64_t> hex_bytes_value(const std::string& field) {
    std::istringstream in(field);
    std::string byte;
    uint64_t v = 0;
    int n = 0;
    while (in >> byte) {
        if (byte.size() != 2 || !std::isxdigit(static_cast<unsigned char>(byte[0])) ||
            !std::isxdigit(static_cast<unsigned char>(byte[1])))
            return std::nullopt;
        v = v << 8 | std::strtoull(byte.c_str(), nullptr, 16);
        ++n;
    }
    if (n != 8) return std::nullopt;
    return v;
}

std::vector<DetailRow> read_detail_rows(const fs::path& folder) {
    std::vector<DetailRow> rows;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() != ".csv") continue;
        std::ifstream in(e.path());
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> f;
            std::stringstream ss(line);
            for (std::string part; std::getline(ss, part, ',');) f.push_back(part);
            if (f.size() < 7) continue;
            auto unit = hex_bytes_value(f[0]);
            auto error = hex_bytes_value(f[6]);
            if (!unit || !error) continue;
            DetailRow r;
            r.unit_lba = *unit;
            r.correct = std::strtoull(f[1].c_str(), nullptr, 10);
            r.old_data = std::strtoull(f[2].c_str(), nullptr, 10);
            r.zeros = std::strtoull(f[3].c_str(), nullptr, 10);
            r.miscompare = std::strtoull(f[4].c_str(), nullptr, 10);
            r.read_fail = std::strtoull(f[5].c_str(), nullptr, 10);
            r.error_lba = *error;
            rows.push_back(r);
        }
    }
    return rows;
}

// A map drawn for a trial, with what a play of it does to each unit.
struct TrialMap {
    LbaMap map;
    uint32_t sectors_per_unit = 0;
    uint64_t region_lba = 0;
    uint64_t writes = 0;
};

TrialMap draw_map(std::mt19937_64& rng) {
    TrialMap t;
    const uint32_t sizes[] = {4096, 8192, 16384};
    const uint32_t request = sizes[rng() % 3];
    const uint64_t length = (1 + rng() % 4) << 20;
    t.region_lba = (rng() % ((kDiskBytes - length) / kSector / 8)) * 8;
    t.map.header.region_start = t.region_lba * kSector;
    t.map.header.region_length = length;
    t.map.header.request_size = request;
    t.sectors_per_unit = request / kSector;
    const uint64_t units = length / request;
    const uint64_t records = units + rng() % (units + 1);
    for (uint64_t i = 0; i < records; ++i) {
        MapRecord r;
        const uint64_t roll = rng() % 100;
        r.action = roll < 80 ? MapAction::Write : roll < 88 ? MapAction::FuaWrite : roll < 94 ? MapAction::Trim : MapAction::Flush;
        r.offset = t.map.unit_offset(rng() % units);
        if (r.action == MapAction::Flush) r.offset = t.map.header.region_start;
        if (is_write(r.action)) ++t.writes;
        t.map.records.push_back(r);
    }
    t.map.header.count = static_cast<uint32_t>(t.map.records.size());
    return t;
}

// Per unit, the ordinal (1-based, among the map's writes) of its last
// write when that is its last event, and whether the event before it was
// a trim (the unit then held zeros).
struct LastWrite {
    uint64_t ordinal = 0;
    bool after_trim = false;
};

std::map<uint64_t, LastWrite> last_writes(const TrialMap& t) {
    std::map<uint64_t, LastWrite> last;
    std::map<uint64_t, bool> trimmed;
    uint64_t ordinal = 0;
    for (const MapRecord& r : t.map.records) {
        if (r.action == MapAction::Flush) continue;
        const uint64_t unit = t.map.unit_of(r);
        if (r.action == MapAction::Trim) {
            last.erase(unit);
            trimmed[unit] = true;
            continue;
        }
        last[unit] = LastWrite{++ordinal, trimmed[unit]};
        trimmed[unit] = false;
    }
    return last;
}

// What a power loss right after the n-th write does to the disk: the units
// whose last write that ran was not durable (no FUA, no flush after it) are
// lost, each with the map record of that write.
struct PowerLossOracle {
    std::map<uint64_t, uint32_t> lost;  // unit -> record of its lost write
    std::set<uint64_t> must_find;
};

PowerLossOracle power_loss_after(const TrialMap& t, uint64_t n) {
    struct State {
        uint32_t record = 0;
        bool durable = true;
    };
    std::map<uint64_t, State> units;
    uint64_t ordinal = 0;
    for (uint32_t i = 0; i < t.map.records.size() && ordinal < n; ++i) {
        const MapRecord& r = t.map.records[i];
        if (r.action == MapAction::Flush) {
            for (auto& [unit, s] : units) s.durable = true;
            continue;
        }
        const uint64_t unit = t.map.unit_of(r);
        if (r.action == MapAction::Trim) {
            units[unit] = State{i, true};
            continue;
        }
        ++ordinal;
        units[unit] = State{i, r.action == MapAction::FuaWrite};
    }
    PowerLossOracle o;
    for (const auto& [unit, s] : units)
        if (!s.durable) o.lost[unit] = s.record;
    return o;
}

// The lost units the compare must find: those whose lost write the play's
// progress record knows complete. A write completed after the record's last
// save is uncertain to the compare (it accepts the unit's version before it
// too), which is the record's documented window, not a blind spot.
void must_find_known_complete(PowerLossOracle& o, const MapProgress& progress) {
    o.must_find.clear();
    for (const auto& [unit, record] : o.lost)
        if (progress.complete(record)) o.must_find.insert(unit);
}

// A trial whose draw made no fault the command is meant to catch: drawn again.
const std::string kRedraw = "redraw";

struct Tally {
    uint64_t injected = 0;
    uint64_t detected = 0;
};

class CompareInjection : public ::testing::Test {
protected:
    void SetUp() override {
        // Memory-backed when the machine has it: the map's progress record
        // is saved durably many times a play, which a disk makes slow.
        folder_ = tb::test::make_memory_temp_dir("tamblor-inject");
        std::string error;
        auto cfg = sim::parse_sim_config("[machine]\nfolder = " + (folder_ / "sim").string() +
                                             "\npersist = 0\n[disk1]\ntype = nvme\ncapacity = 64MiB\n",
                                         &error);
        ASSERT_TRUE(cfg) << error;
        config_ = *cfg;
        sim::set_sim_io_hooks([this](uint32_t, SimIoHooks& h) {
            h.record = [this](uint32_t, const IoRequest& r) { on_submit(r); };
        });
        power_up();
        set_workload_time_scale(200);  // the 1 s pause before a second read takes 5 ms
    }
    void TearDown() override {
        set_workload_time_scale(1);
        sim::set_sim_io_hooks(nullptr);
        clear_current_target();
        store_.reset();
        set_disk_platform(nullptr);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    // A new machine on the same files, as the next program finds it.
    void power_up() {
        store_.reset();
        clear_current_target();
        set_disk_platform(nullptr);
        std::string error;
        auto platform = sim::make_sim_platform_from_config(config_, &error);
        ASSERT_TRUE(platform) << error;
        sim::SimPlatform* sim_platform = platform.get();
        set_disk_platform(std::move(platform));
        ASSERT_GE(discover_disks(), 1);
        store_ = sim_platform->machine().store(1);
        ASSERT_TRUE(store_);
    }
    void target_disk1() {
        const DiskTable& t = disk_table();
        for (int i = 0; i < t.count; ++i)
            if (t.records[i].disk_number == 1 && t.records[i].record_kind == kRecordDisk) {
                current_target() = t.records[i];
                return;
            }
        FAIL() << "no disk 1";
    }

    // The n-th write the command submits from now on (1-based) meets the
    // fault `make` builds for it.
    void arm(uint64_t n, std::function<sim::MediumFault(const IoRequest&)> make) {
        std::lock_guard l(arm_lock_);
        arm_writes_ = 0;
        arm_at_ = n;
        arm_make_ = std::move(make);
        hit_.reset();
    }
    void disarm() { arm(0, nullptr); }
    void on_submit(const IoRequest& r) {
        std::lock_guard l(arm_lock_);
        if (r.op != IoOp::Write || !arm_at_ || ++arm_writes_ != arm_at_) return;
        store_->add_fault(arm_make_(r));
        hit_ = r;
    }
    std::optional<IoRequest> hit() {
        std::lock_guard l(arm_lock_);
        return hit_;
    }

    // A trial's fresh start: a zeroed medium without faults, a fresh slot.
    void begin_trial() {
        disarm();
        if (store_->power_lost()) power_up();
        store_->clear_faults();
        store_->set_power_loss_rule({});
        ASSERT_TRUE(store_->zero_all());
        slot_folder_ = test::fresh_slot();
        target_disk1();
    }
    void end_trial() {
        std::error_code ec;
        fs::remove_all(slot_folder_, ec);
    }

    static std::optional<uint64_t> logged_hex(const std::string& prefix) {
        for (const LogLine& l : job_log_lines(0))
            if (l.text.rfind(prefix, 0) == 0) return std::strtoull(l.text.c_str() + prefix.size(), nullptr, 16);
        return std::nullopt;
    }
    static bool logged(const std::string& text) {
        const std::vector<LogLine> lines = job_log_lines(0);
        return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) { return l.text == text; });
    }
    static std::optional<uint64_t> logged_count(const std::string& prefix) {
        for (const LogLine& l : job_log_lines(0))
            if (l.text.rfind(prefix, 0) == 0) return std::strtoull(l.text.c_str() + prefix.size(), nullptr, 10);
        return std::nullopt;
    }
    static int error_code() { return job_slot(0)->error_code; }

    // What a loop or the range compare must end with for a fault on the
    // request at `lba`: the code and the LBA it names.
    std::string check_verdict(Fault fault, uint64_t lba) {
        std::ostringstream why;
        const int code = error_code();
        if (fault == Fault::ReadError) {
            const auto at = logged_hex("CurrentLBA: 0x");
            if (code == -3 && at == lba) return {};
            why << "want -3 at 0x" << std::hex << lba << ", got " << std::dec << code << " at "
                << (at ? std::to_string(*at) : "none");
            return why.str();
        }
        const int want = fault == Fault::Stale ? -70 : -71;
        const auto at = logged_hex("Error LBA    : 0x");
        if (code == want && at == lba) return {};
        why << "want " << want << " at LBA " << lba << ", got " << code << " at "
            << (at ? std::to_string(*at) : "none") << " (" << job_slot(0)->error_text << ")";
        return why.str();
    }
    std::string check_clean() {
        if (error_code() == 0 && logged("Compare Result : Compare Finish. No error exist. | 0")) return {};
        return "false alarm: " + std::to_string(error_code()) + " " + job_slot(0)->error_text;
    }

    std::string run_loop(Command cmd, Fault fault, std::mt19937_64& rng);
    std::string run_with_pattern(Fault fault, std::mt19937_64& rng);
    std::string run_map(Fault fault, std::mt19937_64& rng);
    std::string check_map(Fault fault, const TrialMap& t, const std::optional<uint64_t>& unit, bool after_trim,
                          const PowerLossOracle* oracle);

    fs::path folder_;
    sim::SimConfig config_;
    std::shared_ptr<sim::BackingStore> store_;
    std::string slot_folder_;
    std::mutex arm_lock_;
    uint64_t arm_writes_ = 0, arm_at_ = 0;
    std::function<sim::MediumFault(const IoRequest&)> arm_make_;
    std::optional<IoRequest> hit_;
};

std::string CompareInjection::run_loop(Command cmd, Fault fault, std::mt19937_64& rng) {
    const bool random = cmd == Command::RandLoop;
    const uint64_t range_mb = random ? 1 + rng() % 2 : 1 + rng() % 4;
    const uint32_t seq_sizes[] = {4, 16, 64, 128}, rand_sizes[] = {4, 8, 16};
    const uint32_t access_kb = random ? rand_sizes[rng() % 3] : seq_sizes[rng() % 4];
    const uint32_t depths[] = {1, 2, 4, 8};
    const uint32_t qd = fault == Fault::Misdirect ? 1 : depths[rng() % 4];
    const uint64_t lba = (rng() % ((kDiskBytes - (range_mb << 20)) >> 20)) << 11;
    const uint64_t writes = (range_mb << 20) / (access_kb * 1024);
    const uint64_t range_start = lba * kSector, range_end = range_start + (range_mb << 20);
    if (fault != Fault::None) {
        arm(1 + rng() % writes, [fault, range_start, range_end](const IoRequest& r) {
            if (fault == Fault::Misdirect) return fault_over(sim::FaultKind::MisdirectWrite, range_start, range_end);
            return fault_over(kind_of(fault), r.offset, r.offset + r.length);
        });
    }
    char call[256];
    std::snprintf(call, sizeof call,
                  "%s( LBA:%llu, RangeLenMB:%llu, AccessKB:%u, QD:%u, WritePattern:0x%08X );", command_name(cmd),
                  static_cast<unsigned long long>(lba), static_cast<unsigned long long>(range_mb), access_kb, qd,
                  static_cast<uint32_t>(rng()));
    test::run(call);
    if (fault == Fault::None) return check_clean();
    const auto h = hit();
    if (!h) return std::string("the fault never hit: ") + call;
    std::string bad = check_verdict(fault, h->offset / kSector);
    return bad.empty() ? bad : bad + " in " + call;
}

std::string CompareInjection::run_with_pattern(Fault fault, std::mt19937_64& rng) {
    constexpr uint64_t kPiece = 128 << 10;
    const uint64_t sectors = 2048 + rng() % (6 * 2048);
    const uint64_t lba = rng() % (kDiskSectors - sectors);
    const uint32_t access_kb = 4u << (rng() % 9);  // 4 KiB to 1 MiB
    const uint32_t pattern = static_cast<uint32_t>(rng()) | 1;
    const uint64_t pieces = (sectors * kSector + kPiece - 1) / kPiece;
    if (fault != Fault::None && fault != Fault::ReadError) {
        arm(1 + rng() % pieces, [fault](const IoRequest& r) {
            // Landing above the intended piece keeps its first sector the first wrong one.
            const uint64_t end = std::min<uint64_t>(r.offset + 2ull * r.length, kDiskBytes);
            if (fault == Fault::Misdirect) return fault_over(sim::FaultKind::MisdirectWrite, r.offset, end);
            return fault_over(kind_of(fault), r.offset, r.offset + r.length);
        });
    }
    char fill[160], compare[200];
    std::snprintf(fill, sizeof fill, "FullByPattern( LBA:%llu, RangeSector:%llu, Pattern:0x%08X );",
                  static_cast<unsigned long long>(lba), static_cast<unsigned long long>(sectors), pattern);
    std::snprintf(compare, sizeof compare,
                  "Compare_WithPattern( LBA:%llu, RangeSector:%llu, ComparePattern:0x%08X, AccessKB:%u );",
                  static_cast<unsigned long long>(lba), static_cast<unsigned long long>(sectors), pattern, access_kb);
    test::run(fill);
    if (error_code() != 0) return std::string("the fill failed: ") + fill + " " + job_slot(0)->error_text;
    const auto h = hit();
    disarm();
    uint64_t want_lba = 0;
    if (fault == Fault::ReadError) {
        const uint64_t bad = lba + rng() % sectors;
        store_->add_fault(fault_over(sim::FaultKind::ReadError, bad * kSector, (bad + 1) * kSector));
        const uint64_t per_read = access_kb * 1024 / kSector;
        want_lba = lba + (bad - lba) / per_read * per_read;
    } else if (fault != Fault::None) {
        if (!h) return std::string("the fault never hit: ") + fill;
        want_lba = h->offset / kSector;
    }
    test::run(compare);
    if (fault == Fault::None) return check_clean();
    std::string bad = check_verdict(fault, want_lba);
    return bad.empty() ? bad : bad + " in " + fill + " " + compare;
}

std::string CompareInjection::run_map(Fault fault, std::mt19937_64& rng) {
    TrialMap t = draw_map(rng);
    const uint32_t base = static_cast<uint32_t>(rng()) | 1, pattern = base ^ 0x5A5A5A5Au;
    const uint32_t depths[] = {1, 4, 8, 16};
    const uint32_t qd = depths[rng() % 4];
    const fs::path map_path = folder_ / "maps" / "LBAMap.map";
    std::error_code ec;
    fs::remove_all(map_path.parent_path(), ec);
    fs::create_directories(map_path.parent_path());
    const std::vector<uint8_t> image = encode_lba_map(t.map);
    std::ofstream(map_path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    char fill[160];
    std::snprintf(fill, sizeof fill, "FullByPattern( LBA:%llu, RangeSector:%llu, Pattern:0x%08X );",
                  static_cast<unsigned long long>(t.region_lba),
                  static_cast<unsigned long long>(t.map.header.region_length / kSector), base);
    test::run(fill);
    if (error_code() != 0 || !store_->flush()) return std::string("the base data failed: ") + fill;

    // The unit the fault is about, and whether its last write followed a trim.
    std::optional<uint64_t> unit;
    bool after_trim = false;
    PowerLossOracle oracle;
    const std::map<uint64_t, LastWrite> last = last_writes(t);
    if (fault == Fault::PowerLoss) {
        sim::PowerLossRule rule;
        rule.after_writes = 1 + rng() % t.writes;
        oracle = power_loss_after(t, rule.after_writes);
        if (oracle.lost.empty()) return kRedraw;
        store_->set_power_loss_rule(rule);
    } else if (fault == Fault::ReadError) {
        unit = rng() % t.map.header.units();
    } else if (fault != Fault::None) {
        if (last.empty()) return kRedraw;
        auto it = last.begin();
        std::advance(it, static_cast<long>(rng() % last.size()));
        unit = it->first;
        after_trim = it->second.after_trim;
        const uint64_t region_start = t.map.header.region_start, region_end = region_start + t.map.header.region_length;
        arm(it->second.ordinal, [fault, region_start, region_end](const IoRequest& r) {
            if (fault == Fault::Misdirect) return fault_over(sim::FaultKind::MisdirectWrite, region_start, region_end);
            return fault_over(kind_of(fault), r.offset, r.offset + r.length);
        });
    }
    const std::string path = map_path.string();
    test::run("Compare_MapWrite( LBAMap:\"" + path + "\", QD:" + std::to_string(qd) + ", WritePattern:" +
              std::to_string(pattern) + " );");
    if (fault != Fault::PowerLoss && error_code() != 0) return "the play failed: " + job_slot(0)->error_text;
    if (unit && fault != Fault::ReadError) {
        const auto h = hit();
        if (!h || h->offset != t.map.unit_offset(*unit)) return "the fault hit another write than the unit's last";
    }
    disarm();
    if (fault == Fault::PowerLoss) {  // the next program compares
        const std::optional<MapProgress> progress = load_map_progress(progress_path_for(path));
        if (!progress) return "the play left no progress record";
        must_find_known_complete(oracle, *progress);
        power_up();
        end_trial();
        slot_folder_ = test::fresh_slot();
        target_disk1();
    }
    if (fault == Fault::ReadError) {
        const uint64_t at = t.map.unit_offset(*unit) + (rng() % t.sectors_per_unit) * kSector;
        store_->add_fault(fault_over(sim::FaultKind::ReadError, at, at + kSector));
    }
    test::run("Compare_MapCompare( LBAMap:\"" + path + "\", BasePattern:" + std::to_string(base) +
              ", WritePattern:" + std::to_string(pattern) + " );");
    if (fault == Fault::PowerLoss && oracle.must_find.empty()) return kRedraw;  // nothing known complete was lost
    std::string bad = check_map(fault, t, unit, after_trim, fault == Fault::PowerLoss ? &oracle : nullptr);
    return bad.empty() ? bad : bad + " (map of " + std::to_string(t.map.records.size()) + " records, " +
                                   std::to_string(t.map.header.request_size) + "-byte units, QD " +
                                   std::to_string(qd) + ")";
}

std::string CompareInjection::check_map(Fault fault, const TrialMap& t, const std::optional<uint64_t>& unit,
                                        bool after_trim, const PowerLossOracle* oracle) {
    if (error_code() != 0) return "the compare failed: " + job_slot(0)->error_text;
    const auto zeros = logged_count("Miscompare - All 0x00 Sectors    : ");
    const auto old_data = logged_count("Miscompare - As Old Data Sectors : ");
    const auto miscompare = logged_count("Miscompare - Miscompare Sectors  : ");
    const auto read_fail = logged_count("Read IO Fail Sectors             : ");
    const auto total = logged_count("Total Error Sectors              : ");
    const auto unflushed = logged_count("Lost Unflushed Sectors           : ");
    const auto durable = logged_count("Lost Durable Sectors             : ");
    if (!zeros || !old_data || !miscompare || !read_fail || !total || !unflushed || !durable)
        return "the compare printed no counts";
    std::ostringstream got;
    got << "counts zeros " << *zeros << " old " << *old_data << " miscompare " << *miscompare << " read fail "
        << *read_fail << " total " << *total << " unflushed " << *unflushed << " durable " << *durable;
    if (fault == Fault::None) return *total == 0 ? std::string() : "false alarm: " + got.str();

    const std::vector<DetailRow> rows = read_detail_rows(slot_folder_);
    const uint64_t s = t.sectors_per_unit;
    auto row_of = [&](uint64_t lba) -> const DetailRow* {
        for (const DetailRow& r : rows)
            if (r.unit_lba == lba) return &r;
        return nullptr;
    };
    if (fault == Fault::PowerLoss) {
        std::set<uint64_t> found;
        for (const DetailRow& r : rows) found.insert((r.unit_lba * kSector - t.map.header.region_start) / t.map.header.request_size);
        for (uint64_t u : oracle->must_find)
            if (!found.count(u)) return "a lost unit was not found: LBA " + std::to_string(t.map.unit_offset(u) / kSector) + "; " + got.str();
        for (uint64_t u : found)
            if (!oracle->lost.count(u)) return "a unit that lost nothing was reported: LBA " + std::to_string(t.map.unit_offset(u) / kSector) + "; " + got.str();
        if (*miscompare || *read_fail || *durable || *unflushed != *total || *total != found.size() * s)
            return "misclassified power loss: " + got.str();
        return {};
    }
    const uint64_t lba = t.map.unit_offset(*unit) / kSector;
    const DetailRow* r = row_of(lba);
    if (!r) return "the unit at LBA " + std::to_string(lba) + " was not reported; " + got.str();
    if (r->errors() != s || r->error_lba != lba) return "the unit's row is wrong; " + got.str();
    if (fault == Fault::Misdirect) {
        // The intended unit holds its old data except where the write landed
        // over it; where it landed the data is stamped for other LBAs.
        if (*read_fail || r->correct) return "misclassified misdirection: " + got.str();
        for (const DetailRow& o : rows)
            if (&o != r && (o.errors() != o.miscompare)) return "misclassified landing place: " + got.str();
        return {};
    }
    if (rows.size() != 1 || *total != s) return "more than the unit was reported: " + got.str();
    switch (fault) {
    case Fault::Corrupt:
        return r->miscompare == s ? std::string() : "misclassified corruption: " + got.str();
    case Fault::Drop:
    case Fault::Stale:
        if (after_trim) return r->zeros == s ? std::string() : "want all 0x00: " + got.str();
        return r->old_data == s ? std::string() : "want old data: " + got.str();
    case Fault::ReadError:
        return r->read_fail == s ? std::string() : "want read fail: " + got.str();
    default:
        return "unexpected fault";
    }
}

// TAMBLOR_INJECTION_TRIALS changes the number of injections (a longer soak).
int trial_count(int fallback) {
    if (const char* s = std::getenv("TAMBLOR_INJECTION_TRIALS")) return std::max(1, std::atoi(s));
    return fallback;
}

uint64_t trial_seed() {
    if (const char* s = std::getenv("TAMBLOR_INJECTION_SEED")) return std::strtoull(s, nullptr, 0);
    return 0x7A3B1E5Dull;
}

TEST_F(CompareInjection, EveryInjectedFaultIsDetectedAndClassifiedAndCleanRunsStayClean) {
    const int kInjected = trial_count(1000), kClean = std::max(kInjected / 8, 1);
    const uint64_t seed = trial_seed();
    std::mt19937_64 rng(seed);
    const Command commands[] = {Command::SeqLoop, Command::RandLoop, Command::Map, Command::WithPattern};
    std::map<std::string, Tally> by_fault, by_command;
    std::vector<std::string> misses;
    int false_alarms = 0, redraws = 0;
    int clean = 0, faulty = 0;
    for (int i = 0; faulty < kInjected || clean < kClean; ++i) {
        const Command cmd = commands[rng() % 4];
        Fault fault = Fault::None;
        if (faulty < kInjected && (i % 9 != 0 || clean >= kClean)) {
            const std::vector<Fault> kinds = faults_for(cmd);
            fault = kinds[rng() % kinds.size()];
            ++faulty;
        } else {
            ++clean;
        }
        std::string bad = kRedraw;
        for (int draw = 0; bad == kRedraw && draw < 100; ++draw) {
            begin_trial();
            std::mt19937_64 trial_rng(rng());
            if (cmd == Command::Map) bad = run_map(fault, trial_rng);
            else if (cmd == Command::WithPattern) bad = run_with_pattern(fault, trial_rng);
            else bad = run_loop(cmd, fault, trial_rng);
            if (bad == kRedraw) {
                end_trial();
                ++redraws;
            }
        }
        end_trial();
        if (fault == Fault::None) {
            if (!bad.empty()) {
                ++false_alarms;
                misses.push_back("trial " + std::to_string(i) + " " + command_name(cmd) + " clean: " + bad);
            }
            continue;
        }
        Tally& f = by_fault[fault_name(fault)];
        Tally& c = by_command[command_name(cmd)];
        ++f.injected;
        ++c.injected;
        if (bad.empty()) {
            ++f.detected;
            ++c.detected;
        } else {
            misses.push_back("trial " + std::to_string(i) + " " + command_name(cmd) + " " + fault_name(fault) + ": " + bad);
        }
    }
    uint64_t injected = 0, detected = 0;
    std::printf("[ injection ] seed 0x%llX\n", static_cast<unsigned long long>(seed));
    for (const auto* table : {&by_fault, &by_command})
        for (const auto& [name, t] : *table) {
            std::printf("[ injection ] %-36s detected %llu / %llu\n", name.c_str(),
                        static_cast<unsigned long long>(t.detected), static_cast<unsigned long long>(t.injected));
            RecordProperty(name, std::to_string(t.detected) + "/" + std::to_string(t.injected));
        }
    for (const auto& [name, t] : by_fault) {
        injected += t.injected;
        detected += t.detected;
    }
    std::printf("[ injection ] all faults detected %llu / %llu, false alarms %d / %d clean trials\n",
                static_cast<unsigned long long>(detected), static_cast<unsigned long long>(injected), false_alarms,
                kClean);
    RecordProperty("detected", std::to_string(detected) + "/" + std::to_string(injected));
    RecordProperty("false_alarms", false_alarms);
    std::printf("[ injection ] draws made again (no catchable fault): %d\n", redraws);
    for (const std::string& m : misses) ADD_FAILURE() << m;
    EXPECT_GE(injected, static_cast<uint64_t>(kInjected));
    EXPECT_EQ(detected, injected);
    EXPECT_EQ(false_alarms, 0);
}

}  // namespace
}  // namespace tb
