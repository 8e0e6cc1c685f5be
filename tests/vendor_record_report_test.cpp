// The printed lines of the vendor records: exact texts where the drive
// commands' users look for them, colours of the warnings and errors, one
// item by name and the error for a name that does not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "script/error_policy.h"
#include "script/log_line.h"
#include "vendor/record_monitor_data.h"
#include "vendor/record_report.h"

namespace {

bool has_line(const tb::ReportLines& lines, const std::string& text, uint32_t colour = 0xFFFFFFFF) {
    for (const tb::ReportLine& l : lines)
        if (l.text == text && (colour == 0xFFFFFFFF || l.colour == colour)) return true;
    return false;
}

std::string all(const tb::ReportLines& lines) {
    std::string s;
    for (const tb::ReportLine& l : lines) s += l.text + "\n";
    return s;
}

TEST(VendorRecordReport, DriveInformationLines) {
    tb::DriveInformation d;
    d.soc_id = 0x2263;
    d.soc_version = 0x0B;
    d.firmware_source = 1;
    d.firmware_base = "B1";
    d.original_firmware_name = "first.bin";
    d.cpu_mhz = 667;
    const tb::ReportLines lines = tb::drive_information_lines(d);
    EXPECT_TRUE(has_line(lines, "SoC ID           : 2263")) << all(lines);
    EXPECT_TRUE(has_line(lines, "SoC Version      : 0B")) << all(lines);
    EXPECT_TRUE(has_line(lines, "FW Source        : 0x01   |   Programmer")) << all(lines);
    EXPECT_TRUE(has_line(lines, "Original FW Name : first.bin")) << all(lines);
    EXPECT_TRUE(has_line(lines, "CPU Clock        : 667 MHz")) << all(lines);
    EXPECT_EQ(tb::firmware_source_text(0), "0x00   |   ROM");
    EXPECT_EQ(tb::firmware_source_text(2), "0x02   |   RDT");
    EXPECT_EQ(tb::firmware_source_text(3), "0x03   |   FTK");
    EXPECT_EQ(tb::firmware_source_text(9), "0x09   |   Unknown");
    d.ready = tb::kDriveNotReady;
    EXPECT_TRUE(has_line(tb::drive_information_lines(d), "Drive Status     : Not Ready", tb::colour::kYellow));
}

TEST(VendorRecordReport, OtpReconstructionAndVpdLines) {
    const tb::ReportLines otp = tb::otp_lines({0x0000000100ABCDEFULL, 0x11, 0x22, 0, 0, 0});
    EXPECT_TRUE(has_line(otp, "SocUID             : 0x00000001_00ABCDEF")) << all(otp);
    EXPECT_TRUE(has_line(otp, "OTP_ATE            : 0x00000011")) << all(otp);
    EXPECT_TRUE(has_line(otp, "OTP_FW             : 0x00000022")) << all(otp);

    tb::ReconstructionStatus s;
    s.recon_cmpl = 1;
    s.percentage = 100;
    const tb::ReportLines recon = tb::reconstruction_lines(s);
    EXPECT_TRUE(has_line(recon, "full_recon         : 0")) << all(recon);
    EXPECT_TRUE(has_line(recon, "recon_cmpl         : 1")) << all(recon);
    EXPECT_TRUE(has_line(recon, "percentage         : 100")) << all(recon);
    s.signature = 0x00;
    const tb::ReportLines bad = tb::reconstruction_lines(s);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_TRUE(has_line(bad, "signature not match 0x5A", tb::colour::kRed));

    const tb::ReportLines vpd = tb::vpd_lines({"Maker", "Model 1", "SN1", "", ""});
    EXPECT_TRUE(has_line(vpd, "Manufacturer         : Maker")) << all(vpd);
    EXPECT_TRUE(has_line(vpd, "Model Number         : Model 1")) << all(vpd);
    EXPECT_TRUE(has_line(vpd, "Serial Number        : SN1")) << all(vpd);
}

TEST(VendorRecordReport, FwConfigLinesAllOneWithOffsetAndUnknown) {
    tb::FwConfigDefaults d;
    d.model = "MODEL Q";
    d.capacity_gb = 480;
    std::vector<uint8_t> r = tb::default_fw_config(d);

    tb::ReportLines lines;
    ASSERT_EQ(tb::fw_config_lines(r, "", false, lines), 0);
    EXPECT_TRUE(has_line(lines, "vendor_model_name        : MODEL Q")) << all(lines);
    EXPECT_TRUE(has_line(lines, "vendor_capacity          : 480")) << all(lines);
    EXPECT_EQ(lines.back().colour, tb::colour::kGreen) << "checksum verified";
    EXPECT_EQ(lines.size(), tb::fw_config_items().size() + 1);

    tb::ReportLines one;
    ASSERT_EQ(tb::fw_config_lines(r, "VENDOR_CAPACITY", true, one), 0);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].text, "0x0068  vendor_capacity          : 480");

    tb::ReportLines none;
    EXPECT_EQ(tb::fw_config_lines(r, "vendor_colour", false, none), tb::kErrKeywordNotFound);
    EXPECT_TRUE(none.empty());

    r[300] ^= 0x10;
    tb::ReportLines broken;
    ASSERT_EQ(tb::fw_config_lines(r, "", false, broken), 0);
    EXPECT_EQ(broken.back().colour, tb::colour::kRed);
    EXPECT_NE(broken.back().text.find("expected"), std::string::npos) << broken.back().text;
}

TEST(VendorRecordReport, MpInfoLinesWithDefectList) {
    tb::ManufacturingInformation m;
    m.soc_id = 0x2263;
    m.die_defects = {5, 6};
    const std::vector<uint8_t> r = tb::encode_manufacturing_information(m);
    tb::ReportLines lines;
    ASSERT_EQ(tb::mp_info_lines(r, "", false, true, lines), 0);
    EXPECT_TRUE(has_line(lines, "soc_id                   : 0x2263")) << all(lines);
    EXPECT_TRUE(has_line(lines, "record_length            : 1768")) << all(lines);
    EXPECT_TRUE(has_line(lines, "Die   1                  : 6")) << all(lines);
    tb::ReportLines none;
    EXPECT_EQ(tb::mp_info_lines(r, "vendor_model_name", false, false, none), tb::kErrKeywordNotFound);
}

TEST(VendorRecordReport, ListLinesColourTheirProblems) {
    const std::vector<tb::GrownDefect> gd = {{1, 0, 2, 1, 77, 2}};
    const tb::ReportLines g = tb::grown_defect_lines(gd);
    EXPECT_TRUE(has_line(g, "Grown Defect Count : 1", tb::colour::kYellow)) << all(g);
    EXPECT_TRUE(has_line(g, "   1    1   0    2     1    77  Erase Fail")) << all(g);
    EXPECT_TRUE(has_line(tb::grown_defect_lines({}), "Grown Defect Count : 0", tb::colour::kGreen));

    const std::vector<tb::VendorEvent> ev = {{3723004, 0x0003, 2, 9}, {10, 0x0001, 0, 0}};
    const tb::ReportLines all_events = tb::event_log_lines(ev, 0);
    EXPECT_TRUE(has_line(all_events, "[001:02:03.004] ERR  0x0003 Power Loss           0x00000009", tb::colour::kRed))
        << all(all_events);
    EXPECT_EQ(all_events.size(), 3u);
    EXPECT_EQ(tb::event_log_lines(ev, 2).size(), 2u) << "errors only";

    tb::CrashDump dump;
    dump.reason = 1;
    dump.sections.push_back({"regs", {1, 2, 3}});
    const tb::ReportLines c = tb::crash_dump_lines(dump);
    EXPECT_TRUE(has_line(c, "Crash Reason       : 1 (Assert)")) << all(c);
    EXPECT_TRUE(has_line(c, "    01 02 03 ")) << all(c);
}

}  // namespace

namespace {

TEST(VendorRecordMonitor, CsvRowTakesTheSmartFieldsAtTheirOffsets) {
    std::vector<uint8_t> log(512, 0);
    log[1] = 0x3E, log[2] = 0x01;  // 318 K = 45 C
    log[3] = 100;
    log[5] = 7;
    log[32] = 10;
    log[48] = 20;
    log[112] = 3;
    log[128] = 0x10, log[129] = 0x01;
    log[160] = 2;
    EXPECT_EQ(tb::monitor_csv_row(12, log), "12,45,100,7,10,20,0,0,3,272,0,2\r\n");
    const std::string header = tb::monitor_csv_header();
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 11);
}

}  // namespace
