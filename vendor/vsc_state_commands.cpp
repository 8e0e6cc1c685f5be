#include "script/arg_table.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_send.h"

namespace tb {

void cmd_VSC_CleanSMART(int slot, const std::string&, const std::string& name) {
    vsc_send(slot, name, VendorOp::CleanSmart);
}

void cmd_VSC_KeepFRB(int slot, const std::string&, const std::string& name) {
    vsc_send(slot, name, VendorOp::KeepSpareBlocks);
}

void cmd_VSC_SetThinCapacity(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"SizeGB", "", ArgType::Number, "0", 0, 0xFFFFFFFF}};
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    VendorArgs op_args;
    op_args.a = static_cast<uint32_t>(a->number("SizeGB"));
    vsc_send(slot, name, VendorOp::ThinCapacity, op_args);
}

void cmd_VSC_CleanEventLog(int slot, const std::string&, const std::string& name) {
    vsc_send_ata_only(slot, name, AtaOnlyOp::CleanEventLog);
}

void cmd_VSC_TrainDDREye(int slot, const std::string&, const std::string& name) {
    vsc_send_ata_only(slot, name, AtaOnlyOp::TrainDdrEye);
}

}  // namespace tb
