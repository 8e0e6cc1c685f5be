// End to end: the offline vendor commands through the real binary on the
// simulated machine. The test writes record files with the program's own
// encoders, a script decodes or edits them, and the printed lines, the
// values read back with Result, the files written and the exit codes are
// checked, bad input included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "vendor/fw_image.h"
#include "vendor/record_rdt.h"
#include "vendor/vendor_records.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMachine = "[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 1GiB\n";

class VendorParseE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-vendor-parse", kMachine};
    const fs::path dir_ = machine_.dir();

    tb::test::ProcessResult run(const std::string& script) {
        return tb::test::run_sim_script(dir_, "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n" + script);
    }
    // The file's path as a script writes it.
    std::string at(const std::string& name) const { return (dir_ / name).string(); }
    void write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<uint8_t> read(const std::string& name) const {
        const std::string s = tb::test::read_file(dir_ / name);
        return {s.begin(), s.end()};
    }
    static bool has(const tb::test::ProcessResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }
};

TEST_F(VendorParseE2E, SingleRecordsAreDecodedAndTheirValuesReadBack) {
    tb::DriveInformation d;
    d.soc_id = 0x2263;
    d.soc_version = 0x0B;
    d.firmware_source = 3;
    write("a.drv", tb::encode_drive_information(d));
    tb::FwConfigDefaults c;
    c.model = "E2E MODEL";
    write("a.fwcfg", tb::default_fw_config(c));
    tb::ManufacturingInformation m;
    m.soc_id = 0x1234;
    m.vendor_word = 77;
    write("a.mpinfo", tb::encode_manufacturing_information(m));
    const std::vector<tb::GrownDefect> gd = {{0, 1, 2, 0, 99, 1}, {1, 0, 0, 1, 5, 3}};
    write("a.gd", tb::encode_grown_defects(gd));
    const std::vector<tb::DieDefects> dd = {{0, 0, 1, 12}};
    write("a.dgd", tb::encode_die_defects(dd));
    write("a.vpd", tb::encode_vpd({"Maker", "Model V", "SNV", "", ""}));
    write("a.otp", tb::encode_otp({0x0000000200000003ULL, 1, 2, 0, 0, 0}));

    const tb::test::ProcessResult r = run(
        "Parse_DrvInfo( File:\"" + at("a.drv") + "\" );\n"
        "Parse_FWconfig( File:\"" + at("a.fwcfg") + "\", FWCfgItem:\"\", ShowOffset:TRUE );\n"
        "M = Parse_FWconfig( File:\"" + at("a.fwcfg") + "\", FWCfgItem:\"vendor_model_name\", ShowOffset:FALSE );\n"
        "Print( Output:\"MODEL=[\" + M + \"]\" );\n"
        "Parse_MPInfo( File:\"" + at("a.mpinfo") + "\", MPInfoItem:\"\", ShowOffset:FALSE );\n"
        "W = Result( KeyWord:\"vendor_word\", ShowResult:FALSE );\n"
        "Print( Output:\"VW=\" + W );\n"
        "G = Parse_GrownDefect( File:\"" + at("a.gd") + "\" );\n"
        "Print( Output:\"GD=\" + G );\n"
        "Parse_DieGrownDefect( File:\"" + at("a.dgd") + "\" );\n"
        "Parse( File:\"" + at("a.vpd") + "\", Type:\"\" );\n"
        "Parse( File:\"" + at("a.otp") + "\", Type:\"OTP\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "SoC ID           : 2263")) << r.output;
    EXPECT_TRUE(has(r, "FW Source        : 0x03   |   FTK")) << r.output;
    EXPECT_TRUE(has(r, "0x0010  vendor_model_name        : E2E MODEL")) << r.output;
    EXPECT_TRUE(has(r, "MODEL=[E2E MODEL]")) << r.output;
    EXPECT_TRUE(has(r, "soc_id                   : 0x1234")) << r.output;
    auto values = tb::test::printed_values(r.output);
    EXPECT_EQ(values["VW"], 77) << r.output;
    EXPECT_EQ(values["GD"], 2) << r.output;
    EXPECT_TRUE(has(r, "Program Fail")) << r.output;
    EXPECT_TRUE(has(r, "Total Grown Blocks : 12")) << r.output;
    EXPECT_TRUE(has(r, "Model Number         : Model V")) << r.output;
    EXPECT_TRUE(has(r, "SocUID             : 0x00000002_00000003")) << r.output;
}

TEST_F(VendorParseE2E, LogsAreDecodedAndSavedAsText) {
    const std::vector<tb::VendorEvent> events = {{1000, 0x0001, 0, 0}, {2000, 0x0013, 2, 0x44}};
    write("a.eraw", tb::encode_event_log(events));
    const std::vector<tb::CriticalEntry> crit = {{5000, 0xBAD, 1, "stuck"}};
    write("a.cri", tb::encode_critical_log(crit));
    tb::CrashDump dump;
    dump.reason = 2;
    dump.sections.push_back({"regs", std::vector<uint8_t>(64, 0xEE)});
    write("a.cdump", tb::encode_crash_dump(dump));
    std::vector<uint8_t> smart(512, 0);
    smart[1] = 0x40, smart[2] = 0x01;  // 320 K
    write("a.smart", smart);

    const tb::test::ProcessResult r = run(
        "E = Parse_EventLog( File:\"" + at("a.eraw") + "\", DecodeType:2, SaveFile:\"" + at("events.txt") + "\" );\n"
        "Print( Output:\"EV=\" + E );\n"
        "Parse_CriticalLog( File:\"" + at("a.cri") + "\", SaveFile:\"\" );\n"
        "Parse_CDump( File:\"" + at("a.cdump") + "\", SaveFile:\"\" );\n"
        "Parse_SMART( File:\"" + at("a.smart") + "\", ShowVSC:FALSE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["EV"], 2) << r.output;
    EXPECT_TRUE(has(r, "Erase Fail")) << r.output;
    EXPECT_FALSE(has(r, "0x0001 Power On")) << "DecodeType 2 shows errors only\n" << r.output;
    const std::string saved = tb::test::read_file(dir_ / "events.txt");
    EXPECT_NE(saved.find("ERR  0x0013 Erase Fail"), std::string::npos) << saved;
    EXPECT_TRUE(has(r, "stuck")) << r.output;
    EXPECT_TRUE(has(r, "Crash Reason       : 2 (Exception)")) << r.output;
    EXPECT_TRUE(has(r, "Section regs")) << r.output;
    EXPECT_TRUE(has(r, "320")) << r.output;
}

TEST_F(VendorParseE2E, HexViewOfARangeAndOfAnUnknownFile) {
    std::vector<uint8_t> bytes(100);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x41 + i % 26);
    write("any.xyz", bytes);
    const tb::test::ProcessResult r = run(
        "N = Parse_FileHex( File:\"" + at("any.xyz") + "\", OffsetByte:16, DataLenByte:32 );\n"
        "Print( Output:\"N=\" + N );\n"
        "Parse( File:\"" + at("any.xyz") + "\", Type:\"\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["N"], 32) << r.output;
    EXPECT_TRUE(has(r, "00000010h: 51 52 53")) << r.output;
    EXPECT_TRUE(has(r, "00000000h: 41 42 43")) << r.output;
    EXPECT_TRUE(has(r, "00000060h: 53 54 55 56                                     STUV")) << r.output;
}

TEST_F(VendorParseE2E, FirmwareImageItemChangedThenDecodedWithAVerifiedChecksum) {
    const std::vector<uint8_t> code(6000, 0x5C);
    write("code.bin", code);
    write("cfg.bin", tb::default_fw_config());
    const tb::test::ProcessResult r = run(
        "S = MergeFW( File1:\"" + at("code.bin") + "\", File2:\"" + at("cfg.bin") + "\", SaveFile:\"" +
        at("fw.bin") + "\" );\n"
        "Print( Output:\"SIZE=\" + S );\n"
        "FWbin_SetFWconfig( File:\"" + at("fw.bin") + "\", FWCfgItem:\"vendor_model_name\", SetValue:\"EDITED\", "
        "SaveFile:\"" + at("fw2.bin") + "\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["SIZE"], 4096 + 8192 + 4096) << r.output;
    const std::vector<uint8_t> merged = read("fw.bin");
    ASSERT_EQ(merged.size(), 16384u);
    const auto parts = tb::fw_image_parts(merged);
    ASSERT_TRUE(parts);
    ASSERT_EQ(parts->size(), 2u);
    EXPECT_EQ((*parts)[1].kind, tb::FwPartKind::Config);

    const std::vector<uint8_t> edited = read("fw2.bin");
    ASSERT_EQ(edited.size(), merged.size());
    const auto at_cfg = tb::find_fw_config(edited);
    ASSERT_TRUE(at_cfg);
    const std::span<const uint8_t> record = std::span<const uint8_t>(edited).subspan(*at_cfg, 4096);
    EXPECT_TRUE(tb::fw_config_checksum_ok(record));
    EXPECT_EQ(tb::fw_config_item_text(record, *tb::find_fw_config_item("vendor_model_name")), "EDITED");
    EXPECT_EQ((*tb::fw_image_parts(edited))[1].checksum, tb::dword_sum(record));
    EXPECT_EQ(read("fw.bin"), merged) << "the source image is unchanged";

    // The edited configuration, cut out of the image, decodes with the new value.
    write("edited.fwcfg", std::vector<uint8_t>(record.begin(), record.end()));
    const tb::test::ProcessResult p =
        run("Parse_FWconfig( File:\"" + at("edited.fwcfg") + "\", FWCfgItem:\"\", ShowOffset:FALSE );\n");
    ASSERT_EQ(p.exit_code, 0) << p.output;
    EXPECT_TRUE(has(p, "vendor_model_name        : EDITED")) << p.output;
    EXPECT_TRUE(has(p, " OK")) << p.output;
}

TEST_F(VendorParseE2E, RdtResultPrintsEachTestAndItsOverallCode) {
    tb::RdtResult rdt;
    rdt.loops = 3;
    rdt.error_code = 0x21;
    rdt.tests = {{"Full Write", 3, 0, 0, 100}, {"Erase Check", 3, 0x21, 9, 40}};
    write("a.rdt", tb::encode_rdt_result(rdt));
    const tb::test::ProcessResult r =
        run("C = RDTResult( File:\"" + at("a.rdt") + "\", ShowResult:TRUE );\nPrint( Output:\"CODE=\" + C );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Erase Check")) << r.output;
    EXPECT_TRUE(has(r, "RDT Result         : FAIL 0x0021")) << r.output;
}

TEST_F(VendorParseE2E, MonitorDataWritesOneCsvRowPerReading) {
    const tb::test::ProcessResult r = run("M = MonitorData( IntervalSec:1, LimitTimeSec:1, SaveFile:\"" +
                                          at("mon.csv") + "\" );\nPrint( Output:\"ROWS=\" + M );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::string csv = tb::test::read_file(dir_ / "mon.csv");
    ASSERT_EQ(csv.rfind("ElapsedSec,TemperatureC,", 0), 0u) << csv;
    const long long rows = tb::test::printed_values(r.output)["ROWS"];
    EXPECT_GE(rows, 2) << r.output;
    EXPECT_EQ(static_cast<long long>(std::count(csv.begin(), csv.end(), '\n')), rows + 1) << csv;
    EXPECT_NE(csv.find("\r\n0,"), std::string::npos) << "the first reading at once\n" << csv;
}

TEST_F(VendorParseE2E, BadInputEndsWithAClearError) {
    std::vector<uint8_t> cfg = tb::default_fw_config();
    write("good.fwcfg", cfg);
    std::vector<uint8_t> broken = cfg;
    broken[100] ^= 0xFF;
    write("broken.fwcfg", broken);
    write("short.drv", std::vector<uint8_t>(4000, 0x5A));
    std::vector<uint8_t> nosig = tb::encode_drive_information({});
    nosig[0] = 0;
    write("nosig.drv", nosig);
    tb::ReconstructionStatus recon;
    recon.signature = 0x11;
    write("a.recon", tb::encode_reconstruction(recon));
    write("raw.bin", std::vector<uint8_t>(8192, 0x01));

    const std::string good = at("good.fwcfg");
    const struct {
        std::string script;
        int code;
        const char* text;
    } cases[] = {
        {"Parse_DrvInfo( File:\"" + at("missing.drv") + "\" );", -11, "missing.drv"},
        {"Parse_DrvInfo( File:\"" + at("short.drv") + "\" );", -10, "4000 bytes"},
        {"Parse_DrvInfo( File:\"" + at("nosig.drv") + "\" );", -90, "0x5A"},
        {"Parse_FWconfig( File:\"" + at("broken.fwcfg") + "\", FWCfgItem:\"\", ShowOffset:FALSE );", -90,
         "checksum"},
        {"Parse_FWconfig( File:\"" + good + "\", FWCfgItem:\"no_such_item\", ShowOffset:FALSE );", -28,
         "no_such_item"},
        {"Parse( File:\"" + at("a.recon") + "\", Type:\"\" );", -90, "signature not match 0x5A"},
        {"Parse( File:\"" + good + "\", Type:\"nonsense\" );", -2, "nonsense"},
        {"FWbin_SetFWconfig( File:\"" + good + "\", FWCfgItem:\"vendor_fw_name\", SetValue:\"123456789\", "
         "SaveFile:\"\" );", -2, "vendor_fw_name"},
        {"FWbin_SetFWconfig( File:\"" + good + "\", FWCfgItem:\"vendor_capacity\", SetValue:\"12x\", SaveFile:\"\" );",
         -2, "vendor_capacity"},
        {"FWbin_SetFWconfig( File:\"" + good + "\", FWCfgItem:\"nope\", SetValue:\"1\", SaveFile:\"\" );", -28,
         "nope"},
        {"FWbin_SetFWconfig( File:\"" + at("raw.bin") + "\", FWCfgItem:\"wwn\", SetValue:\"1\", SaveFile:\"\" );",
         -90, "raw.bin"},
        {"Parse_FileHex( File:\"" + good + "\", OffsetByte:5000, DataLenByte:16 );", -2, "past the end"},
    };
    for (const auto& c : cases) {
        const tb::test::ProcessResult r = run(c.script + "\n");
        EXPECT_EQ(r.exit_code, tb::test::script_exit(c.code)) << c.script << "\n" << r.output;
        EXPECT_TRUE(has(r, c.text)) << c.script << "\n" << r.output;
    }
    EXPECT_EQ(read("good.fwcfg"), cfg) << "a refused edit leaves the file as it was";
}

}  // namespace
