#include "vendor/vendor_send.h"

#include <memory>
#include <string>

#include "disk/ata_transport.h"
#include "disk/nvme_transport.h"
#include "platform/disk_device.h"
#include "script/job_log_writer.h"
#include "script/log_line.h"

namespace tb {

namespace {

constexpr int kNotAvailable = kNvmeRequestFailed;  // -74
constexpr int kNoEcho = -1;                        // a slot that writes no echo

void echo(int slot, const std::string& line) {
    if (slot != kNoEcho && !line.empty()) log_text(slot, line, colour::kGrey);
}

// A transport result as this layer returns it: 0 for success, a controller
// error status as a failed request, other codes as they are.
int outcome(int transport_code) {
    if (transport_code == kNvmeOk) return 0;
    if (transport_code == kNvmeStatusError) return kNvmeRequestFailed;
    return transport_code;
}

int send_nvme(int slot, const DiskRecord& record, VendorOp op, const VendorArgs& args, std::span<uint8_t> data) {
    if (data.size() % 4 != 0) return kNvmeBadArgument;
    const std::vector<VendorStep> steps =
        vendor_steps(record.command_set, op, args, static_cast<uint32_t>(data.size()));
    if (steps.empty()) return kNotAvailable;
    for (const VendorStep& step : steps) {
        if (step.request.dir != DataDir::None && data.empty()) return kNvmeBadArgument;
        if (step.delay_before_ms) nvme_sleep_ms(step.delay_before_ms);
        echo(slot, nvme_debug_trace(step.request, true));
        const std::span<uint8_t> moved = step.request.dir == DataDir::None ? std::span<uint8_t>{} : data;
        const int code = outcome(nvme_send(record, step.request, moved).code);
        if (code != 0) return code;
    }
    return 0;
}

// Each task file on a freshly opened device path, echoed first; the first
// failure ends the sequence.
int send_ata_sequence(int slot, const DiskRecord& record, std::span<const AtaCommand> commands) {
    for (const AtaCommand& cmd : commands) {
        echo(slot, ata_echo_text(cmd.command, cmd.feature, cmd.flags, AtaLbaBytes::of(cmd.lba), cmd.sector_count));
        std::unique_ptr<DiskDevice> device = disk_platform().open(record.device_path);
        if (!device) return kNvmeOpenFailed;
        if (!send_ata(record.access_protocol, *device, cmd)) return kNvmeRequestFailed;
    }
    return 0;
}

}  // namespace

int send_vendor(int slot, const DiskRecord& record, VendorOp op, const VendorArgs& args, std::span<uint8_t> data) {
    if (is_nvme_protocol(record.access_protocol)) return send_nvme(slot, record, op, args, data);
    if (!is_ata_protocol(record.access_protocol)) return kNotAvailable;
    if (ata_vendor_feature(op) == 0) return kNotAvailable;
    const AtaVendorCommands commands = ata_vendor_commands(op, args, data);
    if (commands.empty()) return kNvmeBadArgument;
    return send_ata_sequence(slot, record, commands.commands);
}

int send_vendor_quietly(const DiskRecord& record, VendorOp op, const VendorArgs& args, std::span<uint8_t> data) {
    return send_vendor(kNoEcho, record, op, args, data);
}

int send_ata_only(int slot, const DiskRecord& record, AtaOnlyOp op, std::span<uint8_t> data, uint32_t offset) {
    if (!is_ata_protocol(record.access_protocol) || ata_only_feature(op) == 0) return kNotAvailable;
    const std::vector<AtaCommand> commands = ata_only_commands(op, data, offset);
    if (commands.empty()) return kNvmeBadArgument;
    return send_ata_sequence(slot, record, commands);
}

}  // namespace tb
