// Shared set-up of the simulated-machine tests: a machine in a fresh folder
// and builders of the raw requests (NVMe entries, CDBs, ATA registers).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "disk/disk_discovery.h"
#include "platform/disk_device.h"
#include "platform/sim/host_path.h"
#include "platform/sim/sim_common.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "tests/temp_dir.h"

namespace tb::sim::test {

// A machine of its own, in a temporary folder removed afterwards.
class Bench {
  public:
    // `disks` holds the [diskN] sections; empty takes the built-in machine's.
    explicit Bench(const std::string& disks = {}, bool persist = false) {
        folder_ = tb::test::make_temp_dir("tamblor-simtest");
        build(disks, persist);
    }
    ~Bench() {
        platform_.reset();
        std::error_code ec;
        std::filesystem::remove_all(host_path(folder_), ec);
    }
    // A new machine on the same folder (as after a restart of the program).
    void rebuild(const std::string& disks = {}, bool persist = true) {
        platform_.reset();
        build(disks, persist);
    }

    SimPlatform& platform() { return *platform_; }
    SimMachine& machine() { return platform_->machine(); }
    const std::string& folder() const { return folder_; }
    std::string image(uint32_t disk) const { return folder_ + "/disk" + std::to_string(disk) + ".img"; }

    std::unique_ptr<DiskDevice> open(const std::string& path) { return platform_->open(path); }
    std::unique_ptr<DiskDevice> drive(uint32_t n) { return open("\\\\.\\PHYSICALDRIVE" + std::to_string(n)); }

    // Bytes of the backing file, read past the simulator.
    std::vector<uint8_t> file_bytes(uint32_t disk, uint64_t offset, size_t n) const {
        std::vector<uint8_t> out(n, 0);
        std::ifstream in(host_path(image(disk)), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
        return out;
    }

  private:
    void build(const std::string& disks, bool persist) {
        std::string text = default_sim_config_text();
        if (!disks.empty()) text = disks;
        text = "[machine]\nfolder = " + folder_ + "\npersist = " + (persist ? "1" : "0") + "\n" +
               text.substr(text.find("[disk") == std::string::npos ? text.size() : text.find("[disk"));
        std::string error;
        auto cfg = parse_sim_config(text, &error);
        if (!cfg) ADD_FAILURE() << error;
        else platform_ = make_sim_platform_from_config(*cfg, &error);
        if (!platform_) ADD_FAILURE() << error;
    }

    std::string folder_;
    std::unique_ptr<SimPlatform> platform_;
};

// Makes a machine of `disks` (its [diskN] sections), with its backing files
// in `folder` and not kept, the program's disks and discovers them; returns
// how many disk records were found (0, with a test failure, when the
// machine cannot be built).
inline int install_machine(const std::string& folder, const std::string& disks) {
    std::string error;
    auto cfg = parse_sim_config("[machine]\nfolder = " + folder + "\npersist = 0\n" + disks, &error);
    std::unique_ptr<SimPlatform> platform;
    if (cfg) platform = make_sim_platform_from_config(*cfg, &error);
    if (!platform) {
        ADD_FAILURE() << error;
        return 0;
    }
    set_disk_platform(std::move(platform));
    return discover_disks();
}

// ---- NVMe ----------------------------------------------------------------

inline NvmePassThrough nvme_request(uint8_t opcode, uint32_t nsid, std::array<uint32_t, 6> cdw10_15 = {},
                                    DataDir dir = DataDir::None, std::span<uint8_t> data = {}, bool io = false) {
    NvmePassThrough r;
    r.command[0] = opcode;
    r.command[2] = 0x34;  // command id 0x1234
    r.command[3] = 0x12;
    put_le32(r.command, 4, nsid);
    for (int i = 0; i < 6; ++i) put_le32(r.command, 40 + 4 * static_cast<size_t>(i), cdw10_15[static_cast<size_t>(i)]);
    r.io_queue = io;
    r.dir = dir;
    r.data = data;
    return r;
}

// The status field (bits 1-15 of the status half-word).
inline uint16_t status_of(const NvmePassThrough& r) { return get_le16(r.completion, 14) >> 1; }
inline uint32_t dw0_of(const NvmePassThrough& r) { return get_le32(r.completion, 0); }

inline std::vector<uint8_t> identify(DiskDevice& d, uint8_t cns, uint32_t nsid = 0, uint16_t* status = nullptr) {
    std::vector<uint8_t> buf(4096, 0xEE);
    auto r = nvme_request(0x06, nsid, {cns}, DataDir::In, buf);
    EXPECT_EQ(d.nvme(r), DeviceStatus::Ok);
    if (status) *status = status_of(r);
    else EXPECT_EQ(status_of(r), 0);
    return buf;
}

inline std::vector<uint8_t> get_log(DiskDevice& d, uint8_t id, uint32_t length = 512) {
    std::vector<uint8_t> buf(length, 0);
    auto r = nvme_request(0x02, 0xFFFFFFFF, {id | ((length / 4 - 1) << 16)}, DataDir::In, buf);
    EXPECT_EQ(d.nvme(r), DeviceStatus::Ok);
    EXPECT_EQ(status_of(r), 0) << "log " << int(id);
    return buf;
}

inline uint16_t nvme_io(DiskDevice& d, uint8_t opcode, uint64_t lba, uint32_t blocks, std::span<uint8_t> data,
                        uint32_t extra_cdw12 = 0) {
    auto r = nvme_request(opcode, 1,
                          {static_cast<uint32_t>(lba), static_cast<uint32_t>(lba >> 32), (blocks - 1) | extra_cdw12},
                          opcode == 0x02 ? DataDir::In : DataDir::Out, data, true);
    EXPECT_EQ(d.nvme(r), DeviceStatus::Ok);
    return status_of(r);
}

inline std::string text_at(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}

inline std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return v;
}

// ---- SCSI ----------------------------------------------------------------

inline ScsiPassThrough cdb(std::initializer_list<uint8_t> bytes, DataDir dir = DataDir::None,
                           std::span<uint8_t> data = {}) {
    ScsiPassThrough r;
    size_t i = 0;
    for (uint8_t b : bytes) r.cdb[i++] = b;
    r.cdb_length = static_cast<uint8_t>(i <= 6 ? 6 : i <= 10 ? 10 : i <= 12 ? 12 : 16);
    r.dir = dir;
    r.data = data;
    return r;
}

inline uint8_t sense_key(const ScsiPassThrough& r) { return r.sense[0] == 0x72 ? r.sense[1] : r.sense[2] & 0x0F; }

inline ScsiPassThrough rw16(bool write, uint64_t lba, uint32_t blocks, std::span<uint8_t> data) {
    ScsiPassThrough r;
    r.cdb[0] = write ? 0x8A : 0x88;
    put_be64(r.cdb, 2, lba);
    put_be32(r.cdb, 10, blocks);
    r.dir = write ? DataDir::Out : DataDir::In;
    r.data = data;
    return r;
}

// ATA PASS-THROUGH (16) with EXTEND set; protocol 4 PIO in, 5 PIO out, 3 none.
inline ScsiPassThrough ata16(uint8_t command, uint8_t protocol, uint16_t feature, uint16_t count, uint64_t lba,
                             std::span<uint8_t> data = {}) {
    ScsiPassThrough r;
    r.cdb[0] = 0x85;
    r.cdb[1] = static_cast<uint8_t>((protocol << 1) | 1);
    r.cdb[2] = protocol == 4 ? 0x0E : protocol == 5 ? 0x06 : 0x00;
    r.cdb[3] = static_cast<uint8_t>(feature >> 8);
    r.cdb[4] = static_cast<uint8_t>(feature);
    r.cdb[5] = static_cast<uint8_t>(count >> 8);
    r.cdb[6] = static_cast<uint8_t>(count);
    r.cdb[7] = static_cast<uint8_t>(lba >> 24);
    r.cdb[8] = static_cast<uint8_t>(lba);
    r.cdb[9] = static_cast<uint8_t>(lba >> 32);
    r.cdb[10] = static_cast<uint8_t>(lba >> 8);
    r.cdb[11] = static_cast<uint8_t>(lba >> 40);
    r.cdb[12] = static_cast<uint8_t>(lba >> 16);
    r.cdb[13] = 0x40;
    r.cdb[14] = command;
    r.dir = protocol == 4 ? DataDir::In : protocol == 5 ? DataDir::Out : DataDir::None;
    r.data = data;
    return r;
}

// ---- ATA registers -------------------------------------------------------

inline AtaPassThrough ata_request(uint8_t command, uint16_t flags, uint16_t feature, uint16_t count, uint64_t lba,
                                  std::span<uint8_t> data = {}) {
    AtaPassThrough r;
    r.flags = flags;
    r.current[kAtaFeature] = static_cast<uint8_t>(feature);
    r.current[kAtaCount] = static_cast<uint8_t>(count);
    r.current[kAtaLbaLow] = static_cast<uint8_t>(lba);
    r.current[kAtaLbaMid] = static_cast<uint8_t>(lba >> 8);
    r.current[kAtaLbaHigh] = static_cast<uint8_t>(lba >> 16);
    r.current[kAtaDevice] = static_cast<uint8_t>(0x40 | ((flags & kAtaExt) ? 0 : ((lba >> 24) & 0x0F)));
    r.current[kAtaCommand] = command;
    if (flags & kAtaExt) {
        r.previous[kAtaFeature] = static_cast<uint8_t>(feature >> 8);
        r.previous[kAtaCount] = static_cast<uint8_t>(count >> 8);
        r.previous[kAtaLbaLow] = static_cast<uint8_t>(lba >> 24);
        r.previous[kAtaLbaMid] = static_cast<uint8_t>(lba >> 32);
        r.previous[kAtaLbaHigh] = static_cast<uint8_t>(lba >> 40);
    }
    r.data = data;
    return r;
}

inline bool ata_ok(const AtaPassThrough& r) { return (r.current[kAtaStatus] & 0x09) == 0; }

// An ATA string of `words` words from word `first` of IDENTIFY data.
inline std::string ata_string(const std::vector<uint8_t>& id, int first, int words) {
    std::string s;
    for (int w = first; w < first + words; ++w) {
        s.push_back(static_cast<char>(id[w * 2 + 1]));
        s.push_back(static_cast<char>(id[w * 2]));
    }
    return s;
}

inline uint16_t word(const std::vector<uint8_t>& id, int w) { return get_le16(id, static_cast<size_t>(w) * 2); }

}  // namespace tb::sim::test
