// The records a vendor-capable simulated controller answers with, built by
// the record encoders of vendor/vendor_records.h from the disk's settings and
// its vendor state. Everything that is not state is derived from the disk's
// serial number, so two disks differ and one disk always answers the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_config.h"
#include "platform/sim/sim_vendor_state.h"

namespace tb::sim {

struct VendorRecordContext {
    const DiskConfig& disk;
    const SimVendorState& state;
    uint64_t medium_bytes = 0;  // the whole medium
    uint64_t power_on_ms = 0;
    std::string firmware;       // the revision running now
};

std::vector<uint8_t> vendor_log_e1(const VendorRecordContext& c);  // 4096 bytes
std::vector<uint8_t> vendor_drive_information(const VendorRecordContext& c, bool ready);
std::vector<uint8_t> vendor_default_fw_config(const VendorRecordContext& c);
std::vector<uint8_t> vendor_manufacturing_information(const VendorRecordContext& c);
std::vector<uint8_t> vendor_grown_defects(const VendorRecordContext& c);
// The dies from `first` on, `count` of them (0: all the rest); nullopt when
// `first` is past the last die.
std::optional<std::vector<uint8_t>> vendor_die_defects(const VendorRecordContext& c, uint32_t first, uint32_t count);
std::vector<uint8_t> vendor_otp(const VendorRecordContext& c);
std::vector<uint8_t> vendor_reconstruction(const VendorRecordContext& c);
std::vector<uint8_t> vendor_vpd(const VendorRecordContext& c);
std::vector<uint8_t> vendor_pcie_data(const VendorRecordContext& c);
// Whole 4096-byte chunks.
std::vector<uint8_t> vendor_crash_dump(const VendorRecordContext& c);
std::vector<uint8_t> vendor_critical_log(const VendorRecordContext& c);
std::vector<uint8_t> vendor_event_log(const VendorRecordContext& c);
// One 4096-byte page of the SPI flash's debug area.
std::vector<uint8_t> vendor_spi_debug(const VendorRecordContext& c, uint32_t page);

// The number of dies the simulated NAND has.
constexpr uint32_t kSimVendorDies = 8;

}  // namespace tb::sim
