#include "disk/nvme_bridge.h"

#include <algorithm>

namespace tb {

namespace {

ScsiPassThrough step(DataDir dir, std::span<uint8_t> data) {
    ScsiPassThrough s;
    s.cdb_length = 16;
    s.dir = data.empty() ? DataDir::None : dir;
    s.data = data;
    s.timeout_s = 60;
    return s;
}

uint32_t length_of(std::span<uint8_t> data) { return static_cast<uint32_t>(data.size()); }

void jmicron(BridgeSequence& seq, const NvmeCommand& cmd, bool admin, DataDir dir, std::span<uint8_t> data) {
    const uint8_t a = admin ? 0x80 : 0x00;
    seq.command_block.assign(512, 0);
    std::copy_n("NVME", 4, seq.command_block.begin());
    std::copy(cmd.bytes.begin(), cmd.bytes.end(), seq.command_block.begin() + 8);
    seq.completion_block.assign(512, 0);
    seq.completion_dw0_offset = 8;

    ScsiPassThrough s1 = step(DataDir::Out, seq.command_block);
    s1.cdb[0] = 0xA1;
    s1.cdb[1] = a;
    put_be24(s1.cdb, 3, 512);

    ScsiPassThrough s2 = step(dir, data);
    s2.cdb[0] = 0xA1;
    s2.cdb[1] = static_cast<uint8_t>(a + (dir == DataDir::In ? 2 : dir == DataDir::Out ? 3 : 1));
    put_be24(s2.cdb, 3, length_of(data));

    ScsiPassThrough s3 = step(DataDir::In, seq.completion_block);
    s3.cdb[0] = 0xA1;
    s3.cdb[1] = static_cast<uint8_t>(a + 0x0F);
    put_be24(s3.cdb, 3, 512);
    seq.steps = {s1, s2, s3};
}

void asmedia(BridgeSequence& seq, const NvmeCommand& cmd, bool admin, DataDir dir, std::span<uint8_t> data) {
    const uint8_t io = admin ? 0 : 1;
    const uint8_t d = dir == DataDir::In ? 1 : dir == DataDir::Out ? 2 : 0;
    seq.command_block.assign(cmd.bytes.begin(), cmd.bytes.end());
    seq.completion_block.assign(16, 0);

    auto cdb = [&](ScsiPassThrough& s, uint8_t op, uint8_t phase, uint32_t len) {
        s.cdb[0] = op;
        s.cdb[1] = 0x5A;
        s.cdb[2] = phase;
        s.cdb[3] = io;
        s.cdb[4] = d;
        put_be32(s.cdb, 10, len);
    };
    ScsiPassThrough s1 = step(DataDir::Out, seq.command_block);
    cdb(s1, 0xEA, 0x80, 64);
    ScsiPassThrough s2 = step(dir, data);
    cdb(s2, dir == DataDir::Out ? 0xEA : 0xEB, 0x81, length_of(data));
    ScsiPassThrough s3 = step(DataDir::In, seq.completion_block);
    cdb(s3, 0xEB, 0x82, 16);
    seq.steps = {s1, s2, s3};
}

void rtl9210b(BridgeSequence& seq, const NvmeCommand& cmd, bool admin, DataDir dir, std::span<uint8_t> data) {
    seq.command_block.assign(cmd.bytes.begin(), cmd.bytes.end());
    seq.completion_block.assign(16, 0);

    ScsiPassThrough s1 = step(DataDir::Out, seq.command_block);
    s1.cdb[0] = 0xE5;
    put_le16(s1.cdb, 1, 64);
    s1.cdb[3] = 0xF7;
    s1.cdb[4] = admin ? 0 : 1;

    ScsiPassThrough s2 = step(dir, data);
    s2.cdb[0] = dir == DataDir::In ? 0xE4 : 0xE5;
    put_le16(s2.cdb, 1, static_cast<uint16_t>(data.size()));
    s2.cdb[3] = 0xF8;
    s2.cdb[6] = dir == DataDir::In ? 1 : dir == DataDir::Out ? 2 : 0;

    ScsiPassThrough s3 = step(DataDir::In, seq.completion_block);
    s3.cdb[0] = 0xE4;
    put_le16(s3.cdb, 1, 16);
    s3.cdb[3] = 0xF9;
    seq.steps = {s1, s2, s3};
}

void asmedia_e6(BridgeSequence& seq, const NvmeCommand& cmd, std::span<uint8_t> data) {
    ScsiPassThrough s = step(DataDir::In, data);
    s.cdb[0] = 0xE6;
    s.cdb[1] = cmd.opcode();
    s.cdb[3] = static_cast<uint8_t>(cmd.cdw(10));
    if (cmd.nsid() == kNvmeAllNamespaces) {
        uint16_t dwords = static_cast<uint16_t>(data.size() / 4 - 1);
        s.cdb[6] = static_cast<uint8_t>(dwords >> 8);
        s.cdb[7] = static_cast<uint8_t>(dwords);
    } else {
        s.cdb[7] = static_cast<uint8_t>(cmd.nsid());
    }
    seq.steps = {s};
}

void rtl9210(BridgeSequence& seq, const NvmeCommand& cmd, std::span<uint8_t> data) {
    ScsiPassThrough s = step(DataDir::In, data);
    s.cdb[0] = 0xE4;
    put_le16(s.cdb, 1, static_cast<uint16_t>(data.size()));
    s.cdb[3] = cmd.opcode();
    s.cdb[4] = static_cast<uint8_t>(cmd.cdw(10));
    seq.steps = {s};
}

}  // namespace

BridgeSequence build_bridge_sequence(BridgeProtocol protocol, const NvmeCommand& cmd, NvmeQueue queue,
                                     DataDir dir, std::span<uint8_t> data) {
    BridgeSequence seq;
    seq.opcode = cmd.opcode();
    if (data.empty()) dir = DataDir::None;
    const bool admin = queue == NvmeQueue::Admin;
    switch (protocol) {
        case BridgeProtocol::JMicron: jmicron(seq, cmd, admin, dir, data); break;
        case BridgeProtocol::ASMedia: asmedia(seq, cmd, admin, dir, data); break;
        case BridgeProtocol::Rtl9210B: rtl9210b(seq, cmd, admin, dir, data); break;
        case BridgeProtocol::AsmediaE6: asmedia_e6(seq, cmd, data); break;
        case BridgeProtocol::Rtl9210: rtl9210(seq, cmd, data); break;
    }
    if (protocol == BridgeProtocol::AsmediaE6 || protocol == BridgeProtocol::Rtl9210) seq.single_command = true;
    else seq.data_step = 1;
    return seq;
}

BridgeOutcome run_bridge_sequence(DiskDevice& dev, BridgeSequence& seq) {
    BridgeOutcome out;
    for (size_t i = 0; i < seq.steps.size(); ++i) {
        ScsiPassThrough& s = seq.steps[i];
        const bool ok = dev.scsi(s) == DeviceStatus::Ok && s.scsi_status != 2;
        if (ok) continue;
        if (static_cast<int>(i) == seq.data_step && seq.opcode == 0xF7) continue;
        out.failed_step = static_cast<uint8_t>(i);
        return out;
    }
    out.ok = true;
    if (seq.single_command) {
        std::span<const uint8_t> data = seq.steps.front().data;
        out.value = data.size() >= 4 ? get_le32(data, 0) : 0;
    } else {
        out.value = get_le32(seq.completion_block, seq.completion_dw0_offset);
    }
    return out;
}

}  // namespace tb
