#include "platform/sim/sim_vendor_ata.h"

namespace tb::sim {

namespace {

AtaOutput aborted() {
    AtaOutput o;
    o.status = ata_reg::kStatusError;
    o.error = ata_reg::kErrAbort;
    return o;
}

AtaOutput done(uint32_t transferred) {
    AtaOutput o;
    o.transferred = transferred;
    return o;
}

DataDir direction_of(AtaProtocol p) {
    switch (p) {
        case AtaProtocol::PioIn:
        case AtaProtocol::DmaIn: return DataDir::In;
        case AtaProtocol::PioOut:
        case AtaProtocol::DmaOut: return DataDir::Out;
        default: return DataDir::None;
    }
}

// Operations whose ATA form is preceded by a parameter sector.
bool takes_arguments(VendorOp op) {
    return op == VendorOp::ForceFirmwareMode || op == VendorOp::FwConfigWrite || op == VendorOp::ManufacturingInfo ||
           op == VendorOp::DieGrownDefectList;
}

}  // namespace

std::optional<AtaOutput> SimVendorAta::execute(const AtaCommand& c, AtaProtocol protocol, std::span<uint8_t> data) {
    // A 28-bit task file carries LBA bits 24-27 in the device register.
    uint64_t lba = c.ext ? c.lba : (c.lba & 0xFFFFFF) | (static_cast<uint64_t>(c.device & 0x0F) << 24);
    auto received = decode_ata_vendor(c.command, c.feature, c.count, lba);
    if (!received) return std::nullopt;
    if (direction_of(protocol) != received->dir || data.size() < received->length) return aborted();
    std::span<uint8_t> moved = data.first(received->length);
    if (received->parameters) {
        auto args = decode_ata_parameters(ata_vendor_feature(received->op), moved);
        if (!args) return aborted();
        arguments_ = Arguments{received->op, *args};
        return done(received->length);
    }
    VendorOutcome outcome;
    if (received->ata_only) {
        outcome = vendor_.run_ata_only(received->ata_op, moved, received->offset);
    } else {
        VendorRequest request{received->op, 0, {}, received->dir, moved, received->offset, false};
        if (takes_arguments(received->op)) {
            if (!arguments_ || arguments_->op != received->op) return aborted();
            request.args = arguments_->args;
        }
        outcome = vendor_.run(request);
    }
    return outcome == VendorOutcome::Done ? done(received->length) : aborted();
}

}  // namespace tb::sim
