// The lines of the small fixed records.
#include "vendor/record_report.h"

#include "common/format.h"

namespace tb {

std::string firmware_source_text(uint8_t source) {
    static constexpr const char* kNames[] = {"ROM", "Programmer", "RDT", "FTK"};
    const char* name = source < 4 ? kNames[source] : "Unknown";
    return fmt("0x%02X   |   %s", source, name);
}

ReportLines drive_information_lines(const DriveInformation& d) {
    ReportLines out;
    add_line(out, fmt("Drive Status     : %s", d.ready == kDriveNotReady ? "Not Ready" : "Ready"),
             d.ready == kDriveNotReady ? colour::kYellow : colour::kWhite);
    add_line(out, fmt("FW Base          : %s", d.firmware_base));
    add_line(out, fmt("FW Revision      : %s", d.firmware_revision));
    add_line(out, fmt("SoC ID           : %04X", d.soc_id));
    add_line(out, fmt("SoC Version      : %02X", d.soc_version));
    add_line(out, fmt("NAND ID          : %s", hex_bytes_text(d.nand_id)));
    add_line(out, fmt("ROM Version      : %04X", d.rom_version));
    add_line(out, fmt("FW Source        : %s", firmware_source_text(d.firmware_source)));
    add_line(out, fmt("Original FW Name : %s", d.original_firmware_name));
    add_line(out, fmt("CPU Clock        : %d MHz", d.cpu_mhz));
    add_line(out, fmt("NAND Clock       : %d MHz", d.nand_mhz));
    add_line(out, fmt("Spare Blocks     : %s", d.spare_blocks_kept ? "Kept" : "Normal"));
    return out;
}

ReportLines otp_lines(const OtpIdentifier& o) {
    ReportLines out;
    add_line(out, fmt("SocUID             : 0x%08X_%08X", static_cast<uint32_t>(o.soc_uid >> 32),
                      static_cast<uint32_t>(o.soc_uid)));
    add_line(out, fmt("OTP_ATE            : 0x%08X", o.otp_ate));
    add_line(out, fmt("OTP_FW             : 0x%08X", o.otp_fw));
    add_line(out, fmt("OTP_Security       : 0x%08X", o.otp_security));
    add_line(out, fmt("OTP_Boot           : 0x%08X", o.otp_boot));
    add_line(out, fmt("OTP_Lock           : 0x%08X", o.otp_lock));
    return out;
}

ReportLines reconstruction_lines(const ReconstructionStatus& s) {
    ReportLines out;
    if (s.signature != kRecordValid) {
        add_line(out, "signature not match 0x5A", colour::kRed);
        return out;
    }
    add_line(out, fmt("full_recon         : %d", s.full_recon));
    add_line(out, fmt("recon_cmpl         : %d", s.recon_cmpl));
    add_line(out, fmt("partial_recon      : %d", s.partial_recon));
    add_line(out, fmt("power_loss_recon   : %d", s.power_loss_recon));
    add_line(out, fmt("recon_error        : %d", s.recon_error), s.recon_error ? colour::kRed : colour::kWhite);
    add_line(out, fmt("rebuilt_blocks     : %d", s.rebuilt_blocks));
    add_line(out, fmt("percentage         : %d", s.percentage));
    return out;
}

ReportLines vpd_lines(const VpdData& v) {
    ReportLines out;
    add_line(out, fmt("%-20s : %S", "Manufacturer", v.manufacturer));
    add_line(out, fmt("%-20s : %S", "Model Number", v.model_number));
    add_line(out, fmt("%-20s : %S", "Serial Number", v.serial_number));
    add_line(out, fmt("%-20s : %S", "Part Number", v.part_number));
    add_line(out, fmt("%-20s : %S", "Revision", v.revision));
    return out;
}

}  // namespace tb
