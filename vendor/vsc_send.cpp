#include "vendor/vsc_send.h"

#include "common/format.h"
#include "disk/disk_record.h"
#include "script/error_policy.h"
#include "vendor/vendor_send.h"

namespace tb {

namespace {

const char* ata_only_name(AtaOnlyOp op) {
    return op == AtaOnlyOp::CleanEventLog ? "clean event log" : "train DDR eye";
}

// The transport's code when the error table has it, else an I/O control error.
int32_t table_code(int code) { return find_error(code) ? code : kErrIoControl; }

// Whether the current target's command set has no encoding of `op`.
bool not_available(const DiskRecord& disk, VendorOp op) {
    return is_nvme_protocol(disk.access_protocol) && vendor_steps(disk.command_set, op).empty();
}

}  // namespace

std::string vsc_failure_detail(const std::string& name, const char* operation, bool unavailable) {
    if (unavailable) return fmt("%s: %s not available with command set %d", name, operation, current_target().command_set);
    return fmt("%s: %s refused by the disk", name, operation);
}

bool vsc_send(int slot, const std::string& name, VendorOp op, const VendorArgs& args, std::span<uint8_t> data) {
    const DiskRecord& disk = current_target();
    const int code = send_vendor(slot, disk, op, args, data);
    if (code >= 0) return true;
    raise_error(slot, table_code(code), vsc_failure_detail(name, vendor_op_name(op), not_available(disk, op)));
    return false;
}

std::optional<std::vector<uint8_t>> vsc_read(int slot, const std::string& name, VendorOp op, const VendorArgs& args,
                                             uint32_t length) {
    std::vector<uint8_t> data(length, 0);
    if (!vsc_send(slot, name, op, args, data)) return std::nullopt;
    return data;
}

bool vsc_send_ata_only(int slot, const std::string& name, AtaOnlyOp op) {
    const int code = send_ata_only(slot, current_target(), op);
    if (code >= 0) return true;
    raise_error(slot, table_code(code), vsc_failure_detail(name, ata_only_name(op), false));
    return false;
}

}  // namespace tb
