#include "vendor/vendor_operation.h"

#include <algorithm>
#include <array>

namespace tb {

namespace {

// Where a command dword takes its value from: a constant or one of the
// operation's arguments.
enum class Src : uint8_t { Const, A, B, C, Checksum };

struct Field {
    Src src = Src::Const;
    uint32_t value = 0;
};

constexpr Field k(uint32_t v) { return {Src::Const, v}; }
constexpr Field kArgA{Src::A, 0}, kArgB{Src::B, 0}, kArgC{Src::C, 0}, kSum{Src::Checksum, 0};
constexpr Field kSigA = k(kVendorSigA), kSigB = k(kVendorSigB);

// One command: opcode, direction and CDW12..CDW15.
struct Cell {
    uint8_t opcode = 0;
    DataDir dir = DataDir::None;
    std::array<Field, 4> cdw{};  // CDW12, CDW13, CDW14, CDW15
};

// The commands of one operation under one selector: none (not available),
// one, or two with a pause before the second.
struct Encoding {
    int count = 0;
    std::array<Cell, 2> cells{};
    uint32_t pause_ms = 0;
};

constexpr Cell cell(uint8_t opcode, DataDir dir, Field c12 = {}, Field c13 = {}, Field c14 = {}, Field c15 = {}) {
    return {opcode, dir, {c12, c13, c14, c15}};
}
constexpr Cell N(uint8_t op, Field c12 = {}, Field c13 = {}, Field c14 = {}, Field c15 = {}) {
    return cell(op, DataDir::None, c12, c13, c14, c15);
}
constexpr Cell I(uint8_t op, Field c12 = {}, Field c13 = {}, Field c14 = {}, Field c15 = {}) {
    return cell(op, DataDir::In, c12, c13, c14, c15);
}
constexpr Cell O(uint8_t op, Field c12 = {}, Field c13 = {}, Field c14 = {}, Field c15 = {}) {
    return cell(op, DataDir::Out, c12, c13, c14, c15);
}

constexpr Encoding kNone{};
constexpr Encoding one(Cell c) { return {1, {c, Cell{}}, 0}; }
constexpr Encoding two(Cell first, uint32_t pause_ms, Cell second) { return {2, {first, second}, pause_ms}; }

struct Row {
    VendorOp op;
    const char* name;
    Encoding fc;   // selector 1
    Encoding c0;   // selector 192
    Encoding d0;   // selector 0
};

// The encoding table. Each row: selector 1, selector 192, selector 0.
constexpr std::array<Row, kVendorOpCount> kTable{{
    {VendorOp::EnableVendorMode, "enable vendor mode",
     one(N(0xFC, k(0x1F), k(kVendorSignature), k(1))),
     one(N(0xC0, k(1), k(1))),
     one(N(0xFC, k(0x1F), k(kVendorSignature), k(1)))},
    {VendorOp::BrandNew, "brand new",
     one(N(0xFC, k(0x80), k(1), kSigA, kSigB)),
     one(N(0xC0, k(0x82), k(1), kSigA, kSigB)),
     one(N(0xE4, k(1), k(0), kSigA, kSigB))},
    {VendorOp::CleanSmart, "clean SMART",
     one(N(0xFC, k(0xD1))),
     one(N(0xC0, k(0x83))),
     one(N(0xD0, k(0), k(0), kSigA, kSigB))},
    {VendorOp::FtlVirgin, "empty mapping table",
     one(N(0xFC, k(0x80), k(2), k(1))),
     one(N(0xC0, k(0x82), k(2), k(1))),
     one(N(0xE4, k(2), k(0), kSigA, kSigB))},
    {VendorOp::ForceFirmwareMode, "force firmware mode",
     one(N(0xFC, k(0x20), kArgA)),
     one(N(0xFF, k(7), kArgA)),
     one(N(0xFF, k(7), kArgA))},
    {VendorOp::RecoveryMode, "recovery mode",
     one(N(0xFC, k(0x122), k(1))),
     one(N(0xC0, k(0x86), k(1))),
     one(N(0xF7, k(1), k(0), kSigA, kSigB))},
    {VendorOp::KeepSpareBlocks, "keep spare blocks",
     one(N(0xFC, k(0x108))),
     one(N(0xC0, k(0x84))),
     one(N(0xFF, k(8)))},
    {VendorOp::ThinCapacity, "thin capacity",
     one(N(0xFC, k(0x10A), kArgA, kArgB)),
     one(N(0xC0, k(0x85), kArgA, kArgB)),
     one(N(0xD1, kArgA, kArgB))},
    {VendorOp::DriveInformation, "drive information",
     one(I(0xFE, k(0x82), k(3))),
     one(I(0xC2, k(0x86), k(3))),
     one(I(0xE6, k(3), k(0), kSigA, kSigB))},
    {VendorOp::FwConfigRead, "firmware configuration read",
     one(I(0xFE, k(0x82), k(1))),
     one(I(0xC2, k(0x86), k(1))),
     one(I(0xE6, k(1), k(0), kSigA, kSigB))},
    {VendorOp::FwConfigWrite, "firmware configuration write",
     one(O(0xFD, k(0x81), k(1), k(0), kSum)),
     one(O(0xC1, k(0x80), k(1), k(0), kSum)),
     one(O(0xE5, k(1), k(0), kSum))},
    {VendorOp::PcieDataRead, "PCIe data read",
     one(I(0xFE, k(0x82), k(7))),
     one(I(0xC2, k(0x86), k(7))),
     one(I(0xE6, k(7), k(0), kSigA, kSigB))},
    {VendorOp::PcieDataWrite, "PCIe data write",
     two(N(0xFC, k(0x80), k(9)), 0, O(0xFD, k(0x81), k(7))),
     one(O(0xC1, k(0x80), k(7))),
     one(O(0xE5, k(7), k(0), kSigA, kSigB))},
    {VendorOp::CrashDumpChunk, "crash dump chunk",
     one(I(0xFE, k(0x82), k(8))),
     one(I(0xC2, k(0x86), k(8))),
     one(I(0xE6, k(8), k(0), kSigA, kSigB))},
    {VendorOp::CriticalLogChunk, "critical log chunk",
     one(I(0xFE, k(0x82), k(0x0B), kArgA, k(4096))),
     one(I(0xE6, k(0x0B), k(0), kArgA, k(4096))),
     one(I(0xE6, k(0x0B), k(0), kArgA, k(4096)))},
    {VendorOp::ManufacturingInfo, "manufacturing information",
     one(I(0xFE, k(0x63), kArgA, kArgB, kArgC)),
     one(I(0xC2, k(0x83), kArgA, kArgB, k(kVendorSigB))),
     one(I(0xF2, kArgA, k(0), kSigA, kSigB))},
    {VendorOp::GrownDefectList, "grown defect list",
     one(I(0xFE, k(0x65))),
     one(I(0xC2, k(0x84))),
     one(I(0xD6, k(0), k(0), kSigA, kSigB))},
    {VendorOp::DieGrownDefectList, "die grown defect list",
     one(I(0xFE, k(0x68), kArgB, kArgC)),
     one(I(0xD7, k(0), k(0), kSigA, kSigB)),
     one(I(0xD7, k(0), k(0), kSigA, kSigB))},
    {VendorOp::OtpIdentifier, "OTP identifier",
     one(I(0xFE, k(0x01))),
     one(I(0xC2, k(0x80))),
     one(I(0xFF, k(10), k(0), kSigA, kSigB))},
    {VendorOp::ReconstructionStatus, "reconstruction status",
     one(I(0xFE, k(0x69))),
     one(I(0xC2, k(0x87))),
     one(I(0xE6, k(14)))},
    {VendorOp::SpiDebugInfo, "SPI debug information",
     one(I(0xFE, k(0x6C), kArgB)),
     kNone,
     kNone},
    {VendorOp::VpdData, "VPD data",
     two(N(0xFC, k(0x21)), kVpdPauseMs, I(0xFE, k(0x22), k(0xC80053))),
     two(N(0xC0, k(0x81)), kVpdPauseMs, I(0xC2, k(0x81))),
     two(N(0xFF, k(18), k(0), kSigA, kSigB), kVpdPauseMs, I(0xFF, k(19), k(0xFF0053), kSigA, kSigB))},
}};

constexpr bool table_in_order() {
    for (int i = 0; i < kVendorOpCount; ++i)
        if (static_cast<int>(kTable[static_cast<size_t>(i)].op) != i) return false;
    return true;
}
static_assert(table_in_order(), "the encoding table lists the operations in enum order");

// Reconstruction status of the two controller models that answer it under
// opcode 0xEA (selector 0 only).
constexpr Encoding kReconstructionAlternate = one(I(0xEA, k(0)));

const Row& row(VendorOp op) { return kTable[static_cast<size_t>(op)]; }

const Encoding* encoding(int selector, const Row& r) {
    switch (selector) {
        case kVendorSelectorFc: return &r.fc;
        case kVendorSelectorC0: return &r.c0;
        case kVendorSelectorD0: return &r.d0;
        default: return nullptr;
    }
}

const Encoding* encoding_for(int selector, VendorOp op, bool alternate_model) {
    if (selector == kVendorSelectorD0 && op == VendorOp::ReconstructionStatus && alternate_model)
        return &kReconstructionAlternate;
    return encoding(selector, row(op));
}

uint32_t resolve(const Field& f, const VendorArgs& args) {
    switch (f.src) {
        case Src::A: return args.a;
        case Src::B: return args.b;
        case Src::C: return args.c;
        case Src::Checksum: return args.checksum;
        default: return f.value;
    }
}

NvmeRequestSpec build(const Cell& c, const VendorArgs& args, uint32_t length) {
    const uint32_t bytes = c.dir == DataDir::None ? 0 : length;
    NvmeRequestSpec spec = nvme_vendor_command(c.opcode, bytes, resolve(c.cdw[0], args), resolve(c.cdw[1], args),
                                               resolve(c.cdw[2], args), resolve(c.cdw[3], args));
    // Opcodes whose transfer bits name no direction (0xFF, 0xD7) still move
    // data: the table's direction rules.
    spec.dir = c.dir;
    return spec;
}

// Whether `cmd` has `c`'s opcode and constants; the argument dwords are
// taken into `args`.
bool matches(const Cell& c, const NvmeCommand& cmd, VendorArgs& args) {
    if (cmd.opcode() != c.opcode) return false;
    VendorArgs taken;
    for (int i = 0; i < 4; ++i) {
        const uint32_t v = cmd.cdw(12 + i);
        switch (c.cdw[static_cast<size_t>(i)].src) {
            case Src::Const:
                if (v != c.cdw[static_cast<size_t>(i)].value) return false;
                break;
            case Src::A: taken.a = v; break;
            case Src::B: taken.b = v; break;
            case Src::C: taken.c = v; break;
            case Src::Checksum: taken.checksum = v; break;
        }
    }
    args = taken;
    return true;
}

std::optional<ReceivedVendorCommand> match_encoding(const Encoding& e, VendorOp op, const NvmeCommand& cmd) {
    for (int step = 0; step < e.count; ++step) {
        const Cell& c = e.cells[static_cast<size_t>(step)];
        VendorArgs args;
        if (!matches(c, cmd, args)) continue;
        ReceivedVendorCommand r{op, step, args, c.dir, 0};
        if (c.dir != DataDir::None) r.length = cmd.cdw(10) * 4;
        return r;
    }
    return std::nullopt;
}

}  // namespace

const char* vendor_op_name(VendorOp op) {
    const auto i = static_cast<size_t>(op);
    return i < kTable.size() ? kTable[i].name : "unknown vendor operation";
}

bool is_vendor_selector(int selector) {
    return selector == kVendorSelectorFc || selector == kVendorSelectorC0 || selector == kVendorSelectorD0;
}

std::vector<VendorStep> vendor_steps(int selector, VendorOp op, const VendorArgs& args, uint32_t length) {
    std::vector<VendorStep> steps;
    if (static_cast<size_t>(op) >= kTable.size()) return steps;
    const Encoding* e = encoding_for(selector, op, args.alternate_model);
    if (!e) return steps;
    for (int i = 0; i < e->count; ++i)
        steps.push_back({build(e->cells[static_cast<size_t>(i)], args, length), i == 0 ? 0u : e->pause_ms});
    return steps;
}

std::optional<ReceivedVendorCommand> decode_vendor_command(int selector, std::span<const uint8_t> sqe) {
    if (sqe.size() < 64 || !is_vendor_selector(selector)) return std::nullopt;
    NvmeCommand cmd;
    std::copy(sqe.begin(), sqe.begin() + 64, cmd.bytes.begin());
    if (cmd.cdw(2) != kVendorSignature) return std::nullopt;
    for (const Row& r : kTable) {
        if (auto got = match_encoding(*encoding(selector, r), r.op, cmd)) return got;
    }
    if (selector == kVendorSelectorD0) {
        if (auto got = match_encoding(kReconstructionAlternate, VendorOp::ReconstructionStatus, cmd)) {
            got->args.alternate_model = true;
            return got;
        }
    }
    return std::nullopt;
}

}  // namespace tb
