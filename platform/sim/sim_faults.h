// Injected command errors of one simulated disk. The devices consult the
// injector before they execute a command: a matching entry makes the command
// complete with the entry's status instead (it is not executed), and the
// entry's count goes down by one.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tb::sim {

// An NVMe command that completes with `status`: the 15-bit status field of
// the completion (bits 0-7 status code, 8-10 status code type, 14 more,
// 15 do not retry), as it stands in bits 1-15 of the status half-word.
struct NvmeFault {
    bool io_queue = false;
    uint8_t opcode = 0;
    uint32_t count = 1;
    uint16_t status = 0x0006;  // Internal Error
    uint32_t dw0 = 0;
};

// An ATA command that ends with these output registers.
struct AtaFault {
    uint8_t command = 0;
    int feature = -1;  // -1: any feature
    uint32_t count = 1;
    uint8_t error = 0x04;   // ABRT
    uint8_t status = 0x51;  // DRDY | DSC | ERR
};

// A SCSI command (any CDB with this operation code) that ends with CHECK
// CONDITION and this sense.
struct ScsiFault {
    uint8_t opcode = 0;
    int byte1 = -1;  // -1: any value of CDB byte 1
    uint32_t count = 1;
    uint8_t sense_key = 0x04;  // HARDWARE ERROR
    uint8_t asc = 0x44;
    uint8_t ascq = 0x00;
};

// Requests that fail as requests (DeviceStatus::Failed) whatever they carry.
struct RequestFault {
    uint32_t count = 1;
    uint32_t error_code = 1117;  // ERROR_IO_DEVICE
};

class FaultInjector {
  public:
    void add(const NvmeFault& f) {
        std::lock_guard l(m_);
        if (f.count) nvme_.push_back(f);
    }
    void add(const AtaFault& f) {
        std::lock_guard l(m_);
        if (f.count) ata_.push_back(f);
    }
    void add(const ScsiFault& f) {
        std::lock_guard l(m_);
        if (f.count) scsi_.push_back(f);
    }
    void add(const RequestFault& f) {
        std::lock_guard l(m_);
        if (f.count) request_.push_back(f);
    }
    void clear() {
        std::lock_guard l(m_);
        nvme_.clear();
        ata_.clear();
        scsi_.clear();
        request_.clear();
    }

    std::optional<NvmeFault> take_nvme(bool io_queue, uint8_t opcode) {
        return take(nvme_, [&](const NvmeFault& f) { return f.io_queue == io_queue && f.opcode == opcode; });
    }
    std::optional<AtaFault> take_ata(uint8_t command, uint16_t feature) {
        return take(ata_, [&](const AtaFault& f) {
            return f.command == command && (f.feature < 0 || f.feature == (feature & 0xFF));
        });
    }
    std::optional<ScsiFault> take_scsi(uint8_t opcode, uint8_t byte1) {
        return take(scsi_, [&](const ScsiFault& f) { return f.opcode == opcode && (f.byte1 < 0 || f.byte1 == byte1); });
    }
    std::optional<RequestFault> take_request() {
        return take(request_, [](const RequestFault&) { return true; });
    }

  private:
    template <class T, class Pred>
    std::optional<T> take(std::vector<T>& list, Pred pred) {
        std::lock_guard l(m_);
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (!pred(*it)) continue;
            T hit = *it;
            if (--it->count == 0) list.erase(it);
            return hit;
        }
        return std::nullopt;
    }

    std::mutex m_;
    std::vector<NvmeFault> nvme_;
    std::vector<AtaFault> ata_;
    std::vector<ScsiFault> scsi_;
    std::vector<RequestFault> request_;
};

}  // namespace tb::sim
