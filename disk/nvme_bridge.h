// NVMe commands carried through USB-to-NVMe bridges in vendor SCSI
// commands (16-byte CDBs, directly addressed data, 60-second time-out).
//
// Three-phase protocols (command block out, data, completion in):
//   JMicron (13):   A1 80 00 00 02 00 + 512-byte block ("NVME" at 0, command at 8)
//                   A1 80+{1 none, 2 in, 3 out}, bytes 3-5 length big-endian
//                   A1 8F, 512 bytes in; completion DW0 at byte 8
//                   (0x80 in byte 1 only for admin commands)
//   ASMedia (14,15): EA 5A 80 io d, bytes 10-13 = 64 big-endian, command out
//                   EB (in/none) or EA (out) 5A 81 io d, bytes 10-13 = length
//                   EB 5A 82 io d, bytes 10-13 = 16, completion in
//                   (d: 0 none, 1 in, 2 out; io: 1 for an I/O command)
//   RTL9210B (16):  E5 40 00 F7 io, command out (bytes 1-2 length little-endian)
//                   E5 (none/out) or E4 (in), bytes 1-2 length, F8, byte 6 = 0/1/2 (none/in/out)
//                   E4 10 00 F9, completion in
// A step fails when the request fails or the SCSI status is CHECK CONDITION;
// a failed data phase is accepted for opcode 0xF7.
//
// Single-command protocols (data in, result value = first data dword):
//   ASMedia E6:     E6 op 00 CDW10[7:0] 00 00 00 NSID[7:0]; with NSID 0xFFFFFFFF
//                   bytes 6-7 = length / 4 - 1 big-endian instead
//   RTL9210 (17):   E4 len-lo len-hi op CDW10[7:0]
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "disk/nvme_command.h"
#include "platform/disk_device.h"

namespace tb {

enum class BridgeProtocol { JMicron, ASMedia, Rtl9210B, AsmediaE6, Rtl9210 };

// The SCSI steps of one bridge command. Step data spans point into the
// sequence's own blocks or into the caller's data buffer, so the caller's
// buffer must outlive the sequence.
struct BridgeSequence {
    std::vector<ScsiPassThrough> steps;
    std::vector<uint8_t> command_block;     // phase 1 data (512 JMicron, 64 others)
    std::vector<uint8_t> completion_block;  // phase 3 data (512 JMicron, 16 others)
    int data_step = -1;                     // index of the data phase (-1: none)
    size_t completion_dw0_offset = 0;       // where DW0 sits in the completion block
    bool single_command = false;            // result value is the first data dword
    uint8_t opcode = 0;
};

// Builds the steps of a bridge command. `data` is the command's data buffer
// (its size is the length; empty for no data).
BridgeSequence build_bridge_sequence(BridgeProtocol protocol, const NvmeCommand& cmd, NvmeQueue queue,
                                     DataDir dir, std::span<uint8_t> data);

struct BridgeOutcome {
    bool ok = false;
    uint8_t failed_step = 0;  // index of the step that failed, when !ok
    uint32_t value = 0;       // completion DW0, or the first data dword
};

// Runs the steps in order on an opened device.
BridgeOutcome run_bridge_sequence(DiskDevice& dev, BridgeSequence& seq);

}  // namespace tb
