// What a vendor-capable simulated controller remembers: the part kept in the
// disk's state file (firmware mode, thin capacity, the firmware configuration
// written by the host, the event log...) and the part a power-off forgets
// (vendor mode, the steps of two-command operations, the crash dump cursor).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "vendor/vendor_records.h"

namespace tb::sim {

// The identity Identify Controller reports, taken from the firmware
// configuration at a reset.
struct VendorIdentity {
    std::string model, serial, firmware;
};

struct SimVendorState {
    // Kept.
    bool rom_mode = false;             // the firmware is gone: the ROM code answers, capacity 0
    uint32_t firmware_mode = 1;        // the last forced mode (0 ROM, 1 normal firmware, 2 RDT, 3 FTK)
    bool spare_blocks_kept = false;
    uint64_t thin_bytes = 0;           // 0: the whole medium
    uint32_t not_ready_reads = 0;      // drive information reads still answering "not ready"
    uint32_t brand_new_count = 0;
    std::vector<uint8_t> fw_config;    // empty: the default record of the disk
    std::optional<VendorIdentity> identity;  // from a configuration the host wrote, since the last reset
    std::vector<uint8_t> pcie_data;    // empty: the default record
    std::vector<VendorEvent> events;
    uint32_t ddr_trainings = 0;
    // Forgotten at power-off.
    bool vendor_mode = false;
    bool vpd_armed = false;
    bool pcie_write_armed = false;
    uint32_t crash_chunk = 0;          // the next crash dump chunk to send

    // The kept part as key/value text ("vnd." keys).
    void save(std::map<std::string, std::string>& out) const;
    void load(const std::map<std::string, std::string>& in);
    // A power-off forgets what the controller held in memory.
    void forget_volatile();
};

}  // namespace tb::sim
