#include "vendor/ata_vendor_protocol.h"

#include <algorithm>

namespace tb {

namespace {

using namespace ata_vendor;

// One ATA form: the operation, its feature code, its direction and whether a
// parameter sector goes before it.
struct AtaForm {
    VendorOp op;
    uint8_t feature;
    DataDir dir;
    bool takes_arguments;
};

constexpr AtaForm kForms[] = {
    {VendorOp::BrandNew, 0x02, DataDir::None, false},
    {VendorOp::CleanSmart, 0x03, DataDir::None, false},
    {VendorOp::ForceFirmwareMode, 0x05, DataDir::None, true},
    {VendorOp::RecoveryMode, 0x06, DataDir::None, false},
    {VendorOp::KeepSpareBlocks, 0x07, DataDir::None, false},
    {VendorOp::DriveInformation, 0x10, DataDir::In, false},
    {VendorOp::FwConfigRead, 0x11, DataDir::In, false},
    {VendorOp::FwConfigWrite, 0x12, DataDir::Out, true},
    {VendorOp::ManufacturingInfo, 0x17, DataDir::In, true},
    {VendorOp::GrownDefectList, 0x18, DataDir::In, false},
    {VendorOp::DieGrownDefectList, 0x19, DataDir::In, true},
    {VendorOp::OtpIdentifier, 0x1A, DataDir::In, false},
    {VendorOp::ReconstructionStatus, 0x1B, DataDir::In, false},
};

struct AtaOnlyForm {
    AtaOnlyOp op;
    uint8_t feature;
    DataDir dir;
};

constexpr AtaOnlyForm kOnlyForms[] = {
    {AtaOnlyOp::CleanEventLog, 0x40, DataDir::None},
    {AtaOnlyOp::TrainDdrEye, 0x41, DataDir::None},
    {AtaOnlyOp::ReadEventLog, 0x42, DataDir::In},
};

const AtaForm* form_of(VendorOp op) {
    for (const AtaForm& f : kForms)
        if (f.op == op) return &f;
    return nullptr;
}

const AtaOnlyForm* only_form_of(AtaOnlyOp op) {
    for (const AtaOnlyForm& f : kOnlyForms)
        if (f.op == op) return &f;
    return nullptr;
}

uint8_t command_code(DataDir dir) {
    switch (dir) {
        case DataDir::In: return kPioIn;
        case DataDir::Out: return kPioOut;
        default: return kNoData;
    }
}

uint16_t flags_of(DataDir dir) {
    switch (dir) {
        case DataDir::In: return kAtaPioIn;
        case DataDir::Out: return kAtaPioOut;
        default: return kAtaNoData;
    }
}

// The LBA of a command: the 12-bit position in bits 0-7 and 24-27, the key
// in bits 8-23.
uint64_t lba_with_key(uint32_t position) {
    return (position & 0xFFu) | static_cast<uint64_t>(kKey) << 8 | static_cast<uint64_t>((position >> 8) & 0xFu) << 24;
}

uint32_t position_of(uint64_t lba) { return static_cast<uint32_t>((lba & 0xFF) | ((lba >> 24) & 0xF) << 8); }

AtaCommand task_file(uint8_t feature, DataDir dir, uint32_t position, std::span<uint8_t> data) {
    return make_ata_command(command_code(dir), feature, flags_of(dir), lba_with_key(position), data);
}

constexpr size_t kPieceBytes = static_cast<size_t>(kPieceSectors) * kAtaSectorBytes;

// Whole sectors from a 4096-byte boundary, the last piece's position within
// the 12-bit field.
bool data_fits(std::span<const uint8_t> data, uint32_t offset) {
    if (data.empty() || data.size() % kAtaSectorBytes != 0 || offset % kOffsetUnit != 0) return false;
    const uint64_t last_start = offset + static_cast<uint64_t>((data.size() - 1) / kPieceBytes) * kPieceBytes;
    return last_start / kOffsetUnit <= kMaxOffsetUnits;
}

// The commands moving `data` from byte position `offset` on, cut in pieces
// of at most kPieceSectors sectors.
void append_pieces(std::vector<AtaCommand>& out, uint8_t feature, DataDir dir, std::span<uint8_t> data,
                   uint32_t offset) {
    for (size_t done = 0; done < data.size(); done += kPieceBytes) {
        const size_t n = std::min(kPieceBytes, data.size() - done);
        const auto position = static_cast<uint32_t>((offset + done) / kOffsetUnit);
        out.push_back(task_file(feature, dir, position, data.subspan(done, n)));
    }
}

bool append_operation(std::vector<AtaCommand>& out, uint8_t feature, DataDir dir, std::span<uint8_t> data,
                      uint32_t offset) {
    if (dir == DataDir::None) {
        if (!data.empty()) return false;
        out.push_back(task_file(feature, dir, 0, {}));
        return true;
    }
    if (!data_fits(data, offset)) return false;
    append_pieces(out, feature, dir, data, offset);
    return true;
}

}  // namespace

uint8_t ata_vendor_feature(VendorOp op) {
    const AtaForm* f = form_of(op);
    return f ? f->feature : 0;
}

uint8_t ata_only_feature(AtaOnlyOp op) {
    const AtaOnlyForm* f = only_form_of(op);
    return f ? f->feature : 0;
}

std::array<uint8_t, 512> encode_ata_parameters(uint8_t feature, const VendorArgs& args) {
    std::array<uint8_t, 512> s{};
    std::copy(kParameterMagic.begin(), kParameterMagic.end(), s.begin());
    s[4] = feature;
    put_le32(s, 8, args.a);
    put_le32(s, 12, args.b);
    put_le32(s, 16, args.c);
    put_le32(s, 20, args.checksum);
    return s;
}

std::optional<VendorArgs> decode_ata_parameters(uint8_t feature, std::span<const uint8_t> sector) {
    if (sector.size() < 24 || !std::equal(kParameterMagic.begin(), kParameterMagic.end(), sector.begin()) ||
        sector[4] != feature)
        return std::nullopt;
    VendorArgs args;
    args.a = get_le32(sector, 8);
    args.b = get_le32(sector, 12);
    args.c = get_le32(sector, 16);
    args.checksum = get_le32(sector, 20);
    return args;
}

AtaVendorCommands ata_vendor_commands(VendorOp op, const VendorArgs& args, std::span<uint8_t> data) {
    AtaVendorCommands out;
    const AtaForm* f = form_of(op);
    if (!f) return out;
    if (f->takes_arguments) {
        out.parameters = std::make_shared<std::array<uint8_t, 512>>(encode_ata_parameters(f->feature, args));
        out.commands.push_back(task_file(kParameterFeature, DataDir::Out, f->feature, *out.parameters));
    }
    if (!append_operation(out.commands, f->feature, f->dir, data, 0)) return {};
    return out;
}

std::vector<AtaCommand> ata_only_commands(AtaOnlyOp op, std::span<uint8_t> data, uint32_t offset) {
    std::vector<AtaCommand> out;
    const AtaOnlyForm* f = only_form_of(op);
    if (!f || !append_operation(out, f->feature, f->dir, data, offset)) return {};
    return out;
}

std::optional<ReceivedAtaVendor> decode_ata_vendor(uint8_t command, uint16_t feature, uint32_t count, uint64_t lba) {
    if (command != kNoData && command != kPioIn && command != kPioOut) return std::nullopt;
    if (((lba >> 8) & 0xFFFF) != kKey || feature > 0xFF) return std::nullopt;
    const uint32_t position = position_of(lba);
    ReceivedAtaVendor r;
    bool known = false;
    if (feature == kParameterFeature) {
        for (const AtaForm& f : kForms)
            if (f.takes_arguments && f.feature == position) {
                r.op = f.op;
                r.dir = DataDir::Out;
                r.parameters = true;
                known = true;
            }
        if (!known || count != 1) return std::nullopt;
        r.length = kAtaSectorBytes;
        return command == kPioOut ? std::optional(r) : std::nullopt;
    }
    for (const AtaForm& f : kForms)
        if (f.feature == feature) {
            r.op = f.op;
            r.dir = f.dir;
            known = true;
        }
    for (const AtaOnlyForm& f : kOnlyForms)
        if (f.feature == feature) {
            r.ata_only = true;
            r.ata_op = f.op;
            r.dir = f.dir;
            known = true;
        }
    if (!known || command != command_code(r.dir)) return std::nullopt;
    if (r.dir == DataDir::None) return count == 0 && position == 0 ? std::optional(r) : std::nullopt;
    if (count == 0 || count > kMaxSectors) return std::nullopt;
    r.length = count * kAtaSectorBytes;
    r.offset = position * kOffsetUnit;
    return r;
}

}  // namespace tb
