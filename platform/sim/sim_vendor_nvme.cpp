#include "platform/sim/sim_vendor_nvme.h"

namespace tb::sim {

namespace {

uint16_t status_of(VendorOutcome outcome) {
    switch (outcome) {
        case VendorOutcome::Done: return nvme_status::kSuccess;
        case VendorOutcome::UnknownCommand: return nvme_status::kInvalidOpcode;
        case VendorOutcome::BadField: return nvme_status::kInvalidField;
        case VendorOutcome::OutOfSequence: return nvme_status::kCommandSequenceError;
        case VendorOutcome::MediumFailed: return nvme_status::kInternalError;
    }
    return nvme_status::kInternalError;
}

}  // namespace

std::optional<NvmeResult> run_vendor_nvme(SimVendor& vendor, int selector, const NvmeCommand& command, DataDir dir,
                                          std::span<uint8_t> data) {
    auto received = decode_vendor_command(selector, command.bytes);
    // The boot ROM speaks the generation-0 forms whatever its firmware's
    // generation: a drive in ROM mode is identified as command set 0.
    if (!received && selector != 0 && vendor.rom_mode()) received = decode_vendor_command(0, command.bytes);
    if (!received) return std::nullopt;
    VendorRequest request{received->op, received->step, received->args, received->dir, {}, 0, true};
    if (received->dir != DataDir::None) {
        // The host buffer must move the data the command names, in its direction.
        if (received->length == 0 || dir != received->dir || data.size() < received->length)
            return NvmeResult{nvme_status::kInvalidField, 0};
        request.data = data.first(received->length);
    }
    return NvmeResult{status_of(vendor.run(request)), 0};
}

}  // namespace tb::sim
