// End to end: a map play the disk walks away from (its power is lost) and a
// second process that compares. Records the play had reserved but never
// issued must not excuse a unit: here a trim of unit 0 reserved after the
// cut would make the zeros the lost write left behind look played.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk1]
type = nvme
model = MAP STOP E2E NVME
serial = MSE1
capacity = 1GB
pci = 3:0.0
)INI";

constexpr const char* kRawDisk = "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n";

enum Action : uint8_t { kWrite = 0, kTrim = 1 };

void put_le(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
}

// A map of 4 KiB units over the first MiB: {unit, action} records.
std::string map_bytes(const std::vector<std::pair<uint64_t, Action>>& records) {
    std::string out;
    put_le(out, 0, 8);
    put_le(out, 1 << 20, 8);
    put_le(out, 4096, 4);
    put_le(out, records.size(), 4);
    for (const auto& [unit, action] : records) {
        put_le(out, unit * 4096, 8);
        out += static_cast<char>(action);
    }
    return out;
}

long long count_of(const std::string& output, const std::string& label) {
    size_t at = output.find(label);
    return at == std::string::npos ? -1 : std::stoll(output.substr(at + label.size()));
}

TEST(MapStoppedPlayE2E, ATrimReservedButNeverPlayedDoesNotExcuseALostWrite) {
    tb::test::SimMachineFolder machine("tamblor-map-stop-e2e", kMachine);
    const fs::path& dir = machine.dir();
    // Unit 0 is trimmed (durable), then written (cached); units 1..8 are
    // written, and the power goes with the write of unit 9 (the one the
    // play has in flight then, either version of it passes). The trim of
    // unit 0 after it and the writes after that are never played.
    std::vector<std::pair<uint64_t, Action>> records = {{0, kTrim}, {0, kWrite}};
    for (uint64_t u = 1; u <= 8; ++u) records.push_back({u, kWrite});
    records.push_back({9, kWrite});
    records.push_back({0, kTrim});
    for (uint64_t u = 10; u < 40; ++u) records.push_back({u, kWrite});
    const fs::path map = dir / "maps" / "LBAMap.map";
    fs::create_directories(map.parent_path());
    std::ofstream(map, std::ios::binary) << map_bytes(records);

    machine.write_machine(std::string(kMachine) + "power_loss_after_writes = 10\npower_loss_unflushed = lost\n");
    tb::test::ShellResult r = tb::test::run_sim_script(
        dir, std::string(kRawDisk) +
                 "LBAWrite( LBA:0, SectorCount:2048, WritePattern:0, MarkSectorHeader:TRUE );\n"
                 "FlushCache();\n"
                 "Compare_MapWrite( LBAMap:\"" + map.string() + "\", QD:1 );\n");
    ASSERT_EQ(r.exit_code, tb::test::script_exit(-4)) << r.output;  // the disk went away mid-play

    machine.write_machine(kMachine);
    r = tb::test::run_sim_script(dir, std::string(kRawDisk) + "Compare_MapCompare( LBAMap:\"" + map.string() +
                                          "\", BasePattern:0, WritePattern:0x55AA33CC );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // Unit 0 lost its write and holds the zeros of its trim; units 1..8
    // lost theirs and hold the base data again. All of it was unflushed.
    EXPECT_EQ(count_of(r.output, "Miscompare - All 0x00 Sectors    : "), 8) << r.output;
    EXPECT_EQ(count_of(r.output, "Miscompare - As Old Data Sectors : "), 64) << r.output;
    EXPECT_EQ(count_of(r.output, "Lost Unflushed Sectors           : "), 72) << r.output;
    EXPECT_EQ(count_of(r.output, "Lost Durable Sectors             : "), 0) << r.output;
}

}  // namespace
