// A small scripted machine for the disk-layer tests: disks described in
// code, devices that answer ATA IDENTIFY DEVICE (through the ATA
// pass-through or SCSI/ATA translation), SCSI INQUIRY and NVMe Identify
// Controller. Installed with set_disk_platform; the machine itself is shared
// with the test so that disks can be unplugged and plugged back.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/disk_device.h"

namespace tb::disk_test {

struct FakeDisk {
    DiscoveredDisk info;
    bool present = true;
    // ATA IDENTIFY DEVICE: answered when `ata` is set (pass-through unless
    // `translation_only`, where only the SCSI/ATA translation answers).
    bool ata = false;
    bool translation_only = false;
    // NVMe Identify Controller.
    bool nvme = false;
    uint16_t vendor_id = 0;
    std::string model, serial, firmware;
    // SCSI INQUIRY reply (zero when not set).
    std::array<uint8_t, 38> inquiry{};
};

struct FakeMachine {
    std::mutex lock;
    std::vector<FakeDisk> disks;
    int opens = 0;

    FakeDisk* find_by_path(const std::string& path) {
        for (FakeDisk& d : disks) {
            if (!d.present) continue;
            if (iequals(path, fmt("\\\\.\\PHYSICALDRIVE%d", d.info.disk_number))) return &d;
            if (iequals(path, fmt("\\\\.\\scsi%d:", d.info.scsi_port))) return &d;
            for (const DiscoveredVolume& v : d.info.volumes)
                if (iequals(path, fmt("\\\\.\\%c:", v.letter))) return &d;
        }
        return nullptr;
    }
};

// The ATA string layout: two characters per word, first character in the high byte.
inline void put_ata_string(std::span<uint8_t> data, size_t first_word, size_t words, const std::string& text) {
    for (size_t i = 0; i < words * 2; ++i) {
        uint8_t c = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
        data[first_word * 2 + (i ^ 1)] = c;
    }
}

inline void fill_ata_identify(const FakeDisk& d, std::span<uint8_t> data) {
    std::fill(data.begin(), data.end(), uint8_t{0});
    if (data.size() < 512) return;
    put_ata_string(data, 10, 10, d.serial);
    put_ata_string(data, 23, 4, d.firmware);
    put_ata_string(data, 27, 20, d.model);
    uint64_t sectors = d.info.bytes_per_sector ? d.info.length_bytes / d.info.bytes_per_sector : 0;
    for (int w = 0; w < 4; ++w) {
        uint16_t v = static_cast<uint16_t>(sectors >> (16 * w));
        data[(100 + w) * 2] = static_cast<uint8_t>(v);
        data[(100 + w) * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
    data[83 * 2 + 1] = 0x04;  // 48-bit supported
}

inline void put_text(std::span<uint8_t> data, size_t offset, size_t length, const std::string& text) {
    for (size_t i = 0; i < length; ++i) data[offset + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

class FakeDevice : public DiskDevice {
public:
    FakeDevice(std::shared_ptr<FakeMachine> machine, uint32_t disk_number)
        : machine_(std::move(machine)), number_(disk_number) {}

    DeviceStatus ata(AtaPassThrough& req) override {
        std::lock_guard g(machine_->lock);
        FakeDisk* d = disk();
        if (!d || !d->ata || d->translation_only) return DeviceStatus::Failed;
        if (req.current[kAtaCommand] != 0xEC) return DeviceStatus::Failed;
        fill_ata_identify(*d, req.data);
        req.current[kAtaStatus] = 0x50;
        return DeviceStatus::Ok;
    }

    DeviceStatus scsi(ScsiPassThrough& req) override {
        std::lock_guard g(machine_->lock);
        FakeDisk* d = disk();
        if (!d) return DeviceStatus::Failed;
        if (req.cdb[0] == 0x12) {
            size_t n = std::min(req.data.size(), d->inquiry.size());
            std::memcpy(req.data.data(), d->inquiry.data(), n);
            return DeviceStatus::Ok;
        }
        const bool identify12 = req.cdb[0] == 0xA1 && req.cdb[9] == 0xEC;
        const bool identify16 = req.cdb[0] == 0x85 && req.cdb[14] == 0xEC;
        if ((identify12 || identify16) && d->ata) {
            fill_ata_identify(*d, req.data);
            req.scsi_status = 0;
            return DeviceStatus::Ok;
        }
        return DeviceStatus::Failed;
    }

    DeviceStatus nvme(NvmePassThrough& req) override {
        std::lock_guard g(machine_->lock);
        FakeDisk* d = disk();
        if (!d || !d->nvme) return DeviceStatus::Failed;
        uint32_t cdw10 = static_cast<uint32_t>(req.command[40]) | (static_cast<uint32_t>(req.command[41]) << 8);
        if (req.command[0] != 0x06 || cdw10 != 1 || req.data.size() < 4096) return DeviceStatus::Failed;
        std::fill(req.data.begin(), req.data.end(), uint8_t{0});
        req.data[0] = static_cast<uint8_t>(d->vendor_id);
        req.data[1] = static_cast<uint8_t>(d->vendor_id >> 8);
        put_text(req.data, 4, 20, d->serial);
        put_text(req.data, 24, 40, d->model);
        put_text(req.data, 64, 8, d->firmware);
        req.completion = {};
        return DeviceStatus::Ok;
    }

private:
    FakeDisk* disk() {
        for (FakeDisk& d : machine_->disks)
            if (d.present && d.info.disk_number == number_) return &d;
        return nullptr;
    }

    std::shared_ptr<FakeMachine> machine_;
    uint32_t number_;
};

class FakePlatform : public DiskPlatform {
public:
    explicit FakePlatform(std::shared_ptr<FakeMachine> machine) : machine_(std::move(machine)) {}
    std::string name() const override { return "fake"; }
    std::vector<DiscoveredDisk> discover() override {
        std::lock_guard g(machine_->lock);
        std::vector<DiscoveredDisk> out;
        for (const FakeDisk& d : machine_->disks)
            if (d.present) out.push_back(d.info);
        return out;
    }
    std::unique_ptr<DiskDevice> open(const std::string& path) override {
        std::lock_guard g(machine_->lock);
        ++machine_->opens;
        FakeDisk* d = machine_->find_by_path(path);
        if (!d) return nullptr;
        return std::make_unique<FakeDevice>(machine_, d->info.disk_number);
    }

private:
    std::shared_ptr<FakeMachine> machine_;
};

// Installs a fresh fake machine for the lifetime of the object; the default
// machine comes back afterwards.
class FakeMachineGuard {
public:
    FakeMachineGuard() : machine_(std::make_shared<FakeMachine>()) {
        set_disk_platform(std::make_unique<FakePlatform>(machine_));
    }
    ~FakeMachineGuard() { set_disk_platform(nullptr); }
    FakeMachineGuard(const FakeMachineGuard&) = delete;
    FakeMachineGuard& operator=(const FakeMachineGuard&) = delete;

    FakeMachine& machine() { return *machine_; }
    FakeDisk& add(FakeDisk d) {
        std::lock_guard g(machine_->lock);
        machine_->disks.push_back(std::move(d));
        return machine_->disks.back();
    }
    // Index-based access: references into the vector do not survive add().
    FakeDisk& disk(size_t i) { return machine_->disks.at(i); }

private:
    std::shared_ptr<FakeMachine> machine_;
};

// Disk shapes used across the tests.
inline DiscoveredVolume volume(char letter, uint64_t total, bool aligned = true, uint64_t free_bytes = 0) {
    DiscoveredVolume v;
    v.letter = letter;
    v.total_bytes = total;
    v.free_bytes = free_bytes;
    v.aligned_4k = aligned;
    return v;
}

inline FakeDisk sata_disk(uint32_t number, const std::string& model, uint32_t path_id,
                          uint64_t length = 1953525168ull * 512) {
    FakeDisk d;
    d.info.friendly_name = model + " SCSI Disk Device";
    d.info.disk_number = number;
    d.info.length_bytes = length;
    d.info.bytes_per_sector = 512;
    d.info.scsi_port = number;
    d.info.scsi_path_id = path_id;
    d.info.bus_type = kBusSata;
    d.info.controller_name = "Standard SATA AHCI Controller";
    d.info.controller_service = "storahci";
    d.info.port_location = path_id;
    d.ata = true;
    d.model = model;
    d.serial = fmt("SN%04d", number);
    d.firmware = "FW01";
    return d;
}

inline FakeDisk nvme_disk(uint32_t number, const std::string& model, uint16_t vid, uint32_t location) {
    FakeDisk d;
    d.info.friendly_name = "NVMe " + model;
    d.info.disk_number = number;
    d.info.length_bytes = 1000204886016ull;
    d.info.bytes_per_sector = 512;
    d.info.scsi_port = number;
    d.info.bus_type = kBusNvme;
    d.info.controller_name = "NVM Express Controller";
    d.info.controller_service = "stornvme";
    d.info.port_location = location;
    d.nvme = true;
    d.vendor_id = vid;
    d.model = model;
    d.serial = fmt("NV%04d", number);
    d.firmware = "1.0";
    return d;
}

inline FakeDisk usb_sata_disk(uint32_t number, const std::string& model, uint32_t location) {
    FakeDisk d = sata_disk(number, model, 0);
    d.info.friendly_name = "USB Attached SCSI Disk";
    d.info.bus_type = kBusUsb;
    d.info.controller_name = "USB Mass Storage Device";
    d.info.controller_service = "UASPStor";
    d.info.port_location = location;
    d.translation_only = true;
    put_text(d.inquiry, 8, 8, "JMicron ");
    put_text(d.inquiry, 16, 16, "Generic SATA");
    d.inquiry[36] = 0x05;
    d.inquiry[37] = 0x21;  // a SATA bridge
    return d;
}

}  // namespace tb::disk_test
