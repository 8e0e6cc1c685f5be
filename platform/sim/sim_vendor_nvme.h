// The NVMe front of the vendor command set: a received admin command decoded
// by the encoding table of the controller's generation and run by its
// SimVendor, with the outcome as a completion status.
#pragma once

#include <optional>
#include <span>

#include "platform/sim/sim_nvme.h"
#include "platform/sim/sim_vendor.h"

namespace tb::sim {

// nullopt when the command is none of the vendor commands of generation
// `selector` (the controller answers it as any other opcode it does not know).
std::optional<NvmeResult> run_vendor_nvme(SimVendor& vendor, int selector, const NvmeCommand& command, DataDir dir,
                                          std::span<uint8_t> data);

}  // namespace tb::sim
