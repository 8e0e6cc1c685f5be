#include "disk/ata_command.h"

namespace tb {

namespace {

uint8_t byte_of(uint64_t v, int index) { return static_cast<uint8_t>(v >> (8 * index)); }

// SCSI/ATA translation protocol field (already shifted into bits 1-4).
uint8_t translation_protocol(const AtaCommand& cmd) {
    if (cmd.data_in()) return 4 << 1;   // PIO data-in
    if (cmd.data_out()) return 5 << 1;  // PIO data-out
    return 3 << 1;                      // non-data
}

// Byte 2: T_DIR, BYT_BLOK and T_LENGTH (length in the sector count field).
uint8_t translation_transfer(const AtaCommand& cmd) {
    if (cmd.data_in()) return 0x0E;
    if (cmd.data_out()) return 0x06;
    return 0;
}

}  // namespace

bool is_ata48_command(uint8_t command) {
    switch (command) {
        case 0x24: case 0x25: case 0x26: case 0x29: case 0x34: case 0x35: case 0x36: case 0x39:
        case 0x3D: case 0x3E: case 0xC1: case 0xC2: case 0xC3: case 0xCE: case 0xFE:
            return true;
        default:
            return false;
    }
}

uint8_t AtaCommand::device() const {
    if (is_48bit()) return 0x40;
    return static_cast<uint8_t>(0x40 | ((lba >> 24) & 0x0F));
}

AtaCommand make_ata_command(uint8_t command, uint16_t feature, uint16_t flags, uint64_t lba,
                            std::span<uint8_t> data) {
    AtaCommand cmd;
    cmd.command = command;
    cmd.feature = feature;
    cmd.flags = flags;
    cmd.lba = lba & 0xFFFF'FFFF'FFFFULL;
    cmd.data = data;
    cmd.sector_count = static_cast<uint32_t>(data.size() / kAtaSectorBytes);
    return cmd;
}

AtaPassThrough build_ata_pass_through(const AtaCommand& cmd) {
    AtaPassThrough req;
    req.flags = cmd.flags;
    req.data = (cmd.data_in() || cmd.data_out()) ? cmd.data : std::span<uint8_t>{};
    req.timeout_s = 60;
    auto& cur = req.current;
    cur[kAtaFeature] = static_cast<uint8_t>(cmd.feature);
    cur[kAtaCount] = static_cast<uint8_t>(cmd.sector_count);
    cur[kAtaLbaLow] = byte_of(cmd.lba, 0);
    cur[kAtaLbaMid] = byte_of(cmd.lba, 1);
    cur[kAtaLbaHigh] = byte_of(cmd.lba, 2);
    cur[kAtaDevice] = cmd.device();
    cur[kAtaCommand] = cmd.command;
    if (cmd.is_48bit()) {
        req.flags |= kAtaExt;
        auto& prev = req.previous;
        prev[kAtaFeature] = static_cast<uint8_t>(cmd.feature >> 8);
        prev[kAtaCount] = 0;
        prev[kAtaLbaLow] = byte_of(cmd.lba, 3);
        prev[kAtaLbaMid] = byte_of(cmd.lba, 4);
        prev[kAtaLbaHigh] = byte_of(cmd.lba, 5);
    }
    return req;
}

bool ata_status_ok(uint8_t status) { return (status & 0x09) == 0; }

ScsiPassThrough build_ata_cdb(const AtaCommand& cmd) {
    ScsiPassThrough req;
    req.timeout_s = 60;
    if (cmd.data_in()) {
        req.dir = DataDir::In;
        req.data = cmd.data;
    } else if (cmd.data_out()) {
        req.dir = DataDir::Out;
        req.data = cmd.data;
    }
    auto& c = req.cdb;
    const uint8_t count = static_cast<uint8_t>(cmd.sector_count);
    if (!cmd.is_48bit()) {
        req.cdb_length = 12;
        c[0] = 0xA1;
        c[1] = translation_protocol(cmd);
        c[2] = translation_transfer(cmd);
        c[3] = static_cast<uint8_t>(cmd.feature);
        c[4] = count;
        c[5] = byte_of(cmd.lba, 0);
        c[6] = byte_of(cmd.lba, 1);
        c[7] = byte_of(cmd.lba, 2);
        c[8] = cmd.device();
        c[9] = cmd.command;
    } else {
        req.cdb_length = 16;
        c[0] = 0x85;
        c[1] = translation_protocol(cmd);
        c[2] = translation_transfer(cmd);
        c[3] = static_cast<uint8_t>(cmd.feature >> 8);
        c[4] = static_cast<uint8_t>(cmd.feature);
        c[5] = 0;
        c[6] = count;
        c[7] = byte_of(cmd.lba, 3);
        c[8] = byte_of(cmd.lba, 0);
        c[9] = byte_of(cmd.lba, 4);
        c[10] = byte_of(cmd.lba, 1);
        c[11] = byte_of(cmd.lba, 5);
        c[12] = byte_of(cmd.lba, 2);
        c[13] = 0x40;
        c[14] = cmd.command;
    }
    return req;
}

}  // namespace tb
