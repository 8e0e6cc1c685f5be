// A fake machine for the NVMe tests: one disk state shared by every handle
// the fake platform opens, recording each NVMe and SCSI request it receives
// and answering with what the test chose.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "disk/nvme_command.h"
#include "platform/disk_device.h"

namespace tb::test::nvme_fake {

struct SeenNvme {
    NvmeCommand command;
    bool io_queue = false;
    DataDir dir = DataDir::None;
    size_t length = 0;
    std::vector<uint8_t> out_data;  // what the host sent (direction Out)
};

struct SeenScsi {
    std::array<uint8_t, 16> cdb{};
    uint8_t cdb_length = 0;
    DataDir dir = DataDir::None;
    size_t length = 0;
    std::vector<uint8_t> out_data;
};

struct FakeDisk {
    std::vector<SeenNvme> nvme_seen;
    std::vector<SeenScsi> scsi_seen;
    // Answer of the next NVMe command: DW0, status, data-in fill byte.
    uint32_t dw0 = 0;
    uint8_t status_code = 0, status_type = 0;
    uint8_t fill = 0xA5;
    DeviceStatus nvme_status = DeviceStatus::Ok;
    uint32_t last_error = 0;
    // SCSI answer; returns false to fail the request. Default: data-in steps
    // get `fill`, everything succeeds.
    std::function<bool(ScsiPassThrough&)> on_scsi;
    // Optional NVMe hook run after the default answer is filled in.
    std::function<void(NvmePassThrough&)> on_nvme;
};

class FakeDevice : public DiskDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeDisk> disk, int* live) : disk_(std::move(disk)), live_(live) { ++*live_; }
    ~FakeDevice() override { --*live_; }

    DeviceStatus nvme(NvmePassThrough& pt) override {
        SeenNvme s;
        std::copy(pt.command.begin(), pt.command.end(), s.command.bytes.begin());
        s.io_queue = pt.io_queue;
        s.dir = pt.dir;
        s.length = pt.data.size();
        if (pt.dir == DataDir::Out) s.out_data.assign(pt.data.begin(), pt.data.end());
        disk_->nvme_seen.push_back(s);
        if (disk_->nvme_status != DeviceStatus::Ok) return disk_->nvme_status;
        if (pt.dir == DataDir::In) std::fill(pt.data.begin(), pt.data.end(), disk_->fill);
        set_completion(pt.completion, disk_->dw0, disk_->status_code, disk_->status_type);
        if (disk_->on_nvme) disk_->on_nvme(pt);
        return DeviceStatus::Ok;
    }

    DeviceStatus scsi(ScsiPassThrough& pt) override {
        SeenScsi s;
        s.cdb = pt.cdb;
        s.cdb_length = pt.cdb_length;
        s.dir = pt.dir;
        s.length = pt.data.size();
        if (pt.dir == DataDir::Out) s.out_data.assign(pt.data.begin(), pt.data.end());
        disk_->scsi_seen.push_back(s);
        if (disk_->on_scsi) return disk_->on_scsi(pt) ? DeviceStatus::Ok : DeviceStatus::Failed;
        if (pt.dir == DataDir::In) std::fill(pt.data.begin(), pt.data.end(), disk_->fill);
        return DeviceStatus::Ok;
    }

    uint32_t last_error() const override { return disk_->last_error; }

private:
    std::shared_ptr<FakeDisk> disk_;
    int* live_;
};

struct FakeMachineState {
    std::shared_ptr<FakeDisk> disk = std::make_shared<FakeDisk>();
    std::set<std::string> openable;  // paths that open
    std::vector<std::string> opened;
    int live_handles = 0;
    std::vector<std::pair<uint32_t, bool>> enable_calls;
    int remove_calls = 0;
    bool remove_ok = true;
    int close_path_after_removes = -1;  // removals after which the device path stops opening
};

class FakePlatform : public DiskPlatform {
public:
    explicit FakePlatform(std::shared_ptr<FakeMachineState> s) : s_(std::move(s)) {}
    std::string name() const override { return "fake"; }
    std::vector<DiscoveredDisk> discover() override { return {}; }
    std::unique_ptr<DiskDevice> open(const std::string& path) override {
        s_->opened.push_back(path);
        if (!s_->openable.count(path)) return nullptr;
        return std::make_unique<FakeDevice>(s_->disk, &s_->live_handles);
    }
    bool set_device_enabled(uint32_t disk_number, bool enable) override {
        s_->enable_calls.emplace_back(disk_number, enable);
        return true;
    }
    bool remove_device(uint32_t) override {
        ++s_->remove_calls;
        if (s_->close_path_after_removes >= 0 && s_->remove_calls >= s_->close_path_after_removes)
            s_->openable.clear();
        return s_->remove_ok;
    }

private:
    std::shared_ptr<FakeMachineState> s_;
};

// Installs a fake machine for the lifetime of the guard; the default
// machine comes back afterwards.
class FakeMachine {
public:
    FakeMachine() : state(std::make_shared<FakeMachineState>()) {
        set_disk_platform(std::make_unique<FakePlatform>(state));
    }
    ~FakeMachine() { set_disk_platform(nullptr); }
    FakeMachine(const FakeMachine&) = delete;
    FakeMachine& operator=(const FakeMachine&) = delete;

    FakeDisk& disk() { return *state->disk; }
    std::shared_ptr<FakeMachineState> state;
};

}  // namespace tb::test::nvme_fake
