// The vendor side of a simulated disk as its machine file describes it: which
// generation of the maker's vendor command set the controller speaks (none by
// default: every vendor opcode is refused) and the settings that steer the
// answers a host's vendor identification sees.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tb::sim {

// The generation a controller speaks: the selector values of the NVMe
// generations, or the vendor ATA protocol of a SATA disk.
enum class VendorKind { None, Selector1, Selector192, Selector0, Ata };

// The NVMe command-set selector of a kind (-1 for None and Ata).
int vendor_selector(VendorKind kind);

struct SimVendorConfig {
    VendorKind kind = VendorKind::None;
    uint16_t soc_id = 0x2262;          // vendor_soc
    bool start_in_rom = false;         // vendor_rom
    std::optional<bool> log_e1;        // vendor_e1 (default: on with selector 1)
    uint32_t mp_info_form = 1768;      // vendor_mpinfo: 1768, 4096, 0 = none
    bool drive_information = true;     // vendor_drive_info
    std::optional<bool> byte256_bit1;  // vendor_id_byte256 (default: as the controller has it)
    bool needs_enable = false;         // vendor_lock: commands only after "enable vendor mode"
    uint16_t vendor_word = 256;        // vendor_word: the size figure at byte 300 of the manufacturing record

    bool enabled() const { return kind != VendorKind::None; }
    bool answers_log_e1() const { return log_e1.value_or(kind == VendorKind::Selector1); }
};

// Applies a `vendor*` key of a disk section: nullopt when `key` (lower case)
// is none of them, else whether the value was good, with the reason in
// `error` when it was not.
std::optional<bool> apply_vendor_key(SimVendorConfig& config, const std::string& key, const std::string& value,
                                     std::string& error);

// Whether the vendor settings suit a disk whose inner device is an NVMe
// controller (`nvme`) or a SATA disk; false with the reason and the key at
// fault.
bool vendor_fits_disk(const SimVendorConfig& config, bool nvme, std::string& error, std::string& key);

}  // namespace tb::sim
