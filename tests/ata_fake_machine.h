// A scripted machine for the ATA tests: every opened path shares one record
// of the requests it received, and the answers come from test callbacks.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/disk_device.h"

namespace tb::test {

struct AtaRequestLog {
    std::string path;
    AtaPassThrough req;
    std::vector<uint8_t> data;  // data out as received
};

struct ScsiRequestLog {
    std::string path;
    ScsiPassThrough req;
    std::vector<uint8_t> data;
};

struct FakeMachineState {
    std::vector<std::string> openable;  // paths that open (all when empty)
    std::vector<std::string> opened;
    std::vector<AtaRequestLog> ata;
    std::vector<ScsiRequestLog> scsi;
    // Answers; nullptr: ATA pass-through is Unsupported, SCSI succeeds.
    std::function<DeviceStatus(AtaPassThrough&)> on_ata;
    std::function<DeviceStatus(ScsiPassThrough&)> on_scsi;

    std::vector<uint8_t> ata_commands() const {
        std::vector<uint8_t> out;
        for (const auto& r : ata) out.push_back(r.req.current[kAtaCommand]);
        return out;
    }
    // The ATA command byte of each translated request (CDB byte 9 or 14).
    std::vector<uint8_t> translated_commands() const {
        std::vector<uint8_t> out;
        for (const auto& r : scsi) {
            if (r.req.cdb[0] == 0xA1 && r.req.cdb_length == 12) out.push_back(r.req.cdb[9]);
            else if (r.req.cdb[0] == 0x85) out.push_back(r.req.cdb[14]);
        }
        return out;
    }
};

class FakeDevice : public DiskDevice {
public:
    FakeDevice(std::shared_ptr<FakeMachineState> s, std::string path) : s_(std::move(s)), path_(std::move(path)) {}
    DeviceStatus ata(AtaPassThrough& r) override {
        s_->ata.push_back({path_, r, {r.data.begin(), r.data.end()}});
        return s_->on_ata ? s_->on_ata(r) : DeviceStatus::Unsupported;
    }
    DeviceStatus scsi(ScsiPassThrough& r) override {
        s_->scsi.push_back({path_, r, {r.data.begin(), r.data.end()}});
        return s_->on_scsi ? s_->on_scsi(r) : DeviceStatus::Ok;
    }

private:
    std::shared_ptr<FakeMachineState> s_;
    std::string path_;
};

class FakePlatform : public DiskPlatform {
public:
    explicit FakePlatform(std::shared_ptr<FakeMachineState> s) : s_(std::move(s)) {}
    std::string name() const override { return "fake"; }
    std::vector<DiscoveredDisk> discover() override { return {}; }
    std::unique_ptr<DiskDevice> open(const std::string& path) override {
        bool ok = s_->openable.empty();
        for (const auto& p : s_->openable) ok = ok || p == path;
        if (!ok) return nullptr;
        s_->opened.push_back(path);
        return std::make_unique<FakeDevice>(s_, path);
    }

private:
    std::shared_ptr<FakeMachineState> s_;
};

// Installs a fake machine for the life of the object, then goes back to the default one.
class ScopedFakeMachine {
public:
    ScopedFakeMachine() : state(std::make_shared<FakeMachineState>()) {
        set_disk_platform(std::make_unique<FakePlatform>(state));
    }
    ~ScopedFakeMachine() { set_disk_platform(nullptr); }
    ScopedFakeMachine(const ScopedFakeMachine&) = delete;
    ScopedFakeMachine& operator=(const ScopedFakeMachine&) = delete;
    FakeMachineState* operator->() const { return state.get(); }

    std::shared_ptr<FakeMachineState> state;
};

}  // namespace tb::test
