#include "disk/disk_record.h"
#include "disk/report_lines.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "vendor/record_report.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_saved_file.h"
#include "vendor/vsc_send.h"

namespace tb {

namespace {

// The two controller models that answer the reconstruction status under
// their own opcode (selector 0), by SoC identifier.
constexpr uint32_t kAlternateReconstructionSocs[] = {0x5012, 0x5013};

bool reconstruction_alternate_model(uint32_t soc_id) {
    for (uint32_t soc : kAlternateReconstructionSocs)
        if (soc == soc_id) return true;
    return false;
}

bool wrong_size(int slot, const std::string& name, const char* record) {
    raise_error(slot, kErrInvalidData, name + ": " + record + " record of the wrong size");
    return false;
}

}  // namespace

void cmd_VSC_GetOTPuid(int slot, const std::string&, const std::string& name) {
    const auto record = vsc_read(slot, name, VendorOp::OtpIdentifier);
    if (!record) return;
    const auto otp = decode_otp(*record);
    if (!otp) {
        wrong_size(slot, name, "OTP");
        return;
    }
    write_report(slot, otp_lines(*otp));
}

// A record without the 0x5A signature is reported and is an error.
void cmd_VSC_GetReconstructionStatus(int slot, const std::string&, const std::string& name) {
    VendorArgs form;
    form.alternate_model = reconstruction_alternate_model(current_target().soc_id);
    const auto record = vsc_read(slot, name, VendorOp::ReconstructionStatus, form);
    if (!record) return;
    const auto status = decode_reconstruction(*record);
    if (!status) {
        wrong_size(slot, name, "reconstruction status");
        return;
    }
    if (!write_report(slot, reconstruction_lines(*status))) return;
    if (status->signature != kRecordValid) {
        raise_error(slot, kErrInvalidData, name + ": signature not match 0x5A");
        return;
    }
    set_result_number(slot, name, status->percentage);
}

void cmd_VSC_GetVPDData(int slot, const std::string&, const std::string& name) {
    const auto record = vsc_read(slot, name, VendorOp::VpdData);
    if (!record || !vsc_save_record(slot, "", ".vpd", *record)) return;
    const auto vpd = decode_vpd(*record);
    if (!vpd) {
        raise_error(slot, kErrInvalidData, name + ": VPD record with a bad signature");
        return;
    }
    write_report(slot, vpd_lines(*vpd));
}

}  // namespace tb
