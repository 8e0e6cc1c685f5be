// The online vendor commands through the real binary on simulated disks that
// speak the maker's vendor command set (each generation on NVMe, the vendor
// ATA protocol on SATA) and on a plain disk that speaks none: records read,
// printed and saved in the job's log folder, a configuration item changed and
// read back, brand new clearing the SMART counters, an empty mapping table
// reading zeros, ROM mode and back, thin capacity, the crash dump, the
// confirmation boxes' "no", and every command failing cleanly where the
// disk does not answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "vendor/vendor_records.h"

namespace {

namespace fs = std::filesystem;
using tb::test::printed_values;
using tb::test::ProcessResult;

constexpr const char* kSelectDisk1 = "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n";

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::vector<uint8_t> file_bytes(const fs::path& path) {
    const std::string s = tb::test::read_file(path);
    return {s.begin(), s.end()};
}

// Host write commands of the NVMe SMART / health log as <NAME>.
std::string host_writes(const std::string& name) {
    return "GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );\n"
           "cw = ResultHex( ByteStart:80, Len:8, HexParse:\"Num\" );\n"
           "Print( Output:\"" + name + "=\" + cw );\n";
}

// Bytes 8-11 of sector 300 (inside the written pattern) as <NAME>.
std::string sector_word(const std::string& name) {
    return "LBARead( LBA:300, SectorCount:1 );\n"
           "v = ResultHex( ByteStart:8, Len:4, HexParse:\"Num\" );\n"
           "Print( Output:\"" + name + "=\" + v );\n";
}

constexpr const char* kWriteSector =
    "LBAWrite( LBA:300, SectorCount:1, WritePattern:0xCAFEF00D, MarkSectorHeader:TRUE, FUA:FALSE );\n";

class VendorE2E : public ::testing::Test {
  protected:
    // Disk 1 of the machine has the keys of `disk1`; the script starts on it.
    ProcessResult run(const std::string& disk1, const std::string& script) const {
        machine_.write_machine("[machine]\npersist = 0\n[disk1]\n" + disk1);
        return tb::test::run_sim_script(dir_, kSelectDisk1 + script);
    }
    static std::string log_of(const ProcessResult& r) { return tb::test::log_folder_of(r.output); }

    tb::test::SimMachineFolder machine_{"tamblor-vendor-e2e", "[machine]\n"};
    const fs::path& dir_ = machine_.dir();
};

const std::string kVendorNvme = "type = nvme\ncapacity = 8GB\nvendor = 1\nvendor_soc = 0x2262\n";
// A small disk for the operations that empty the whole mapping table: where
// the host's file system cannot punch holes the simulated medium is zeroed
// by writing. Below 1 GB the identification takes it for a ROM-mode drive
// and speaks generation 0 to it, which this disk answers.
const std::string kSmallVendorNvme = "type = nvme\ncapacity = 64MiB\nvendor = 0\nvendor_soc = 0x2262\n";

TEST_F(VendorE2E, AConfigurationItemIsReadChangedAndReadBack) {
    auto r = run(kVendorNvme,
                 "VSC_GetFWconfig( FWCfgItem:\"vendor_model_name\" );\n"
                 "VSC_SetFWconfig( FWCfgItem:\"vendor_model_name\", SetValue:\"KORVA NEW MODEL\" );\n"
                 "Print( Output:\"---- read back ----\" );\n"
                 "VSC_GetFWconfig( FWCfgItem:\"vendor_model_name\", ShowOffset:TRUE );\n"
                 "VSC_GetMPOem();\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const size_t back = r.output.find("---- read back ----");
    ASSERT_NE(back, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("vendor_model_name        : TAMBLOR SIM NVMe SSD -> KORVA NEW MODEL"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("vendor_model_name        : KORVA NEW MODEL", back), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Checksum", back), std::string::npos) << "the whole configuration was printed\n"
                                                                 << r.output;
    // The configuration files of the log folder: the last read holds the new value, sealed.
    const auto saved = tb::test::files_ending(log_of(r), ".fwcfg");
    ASSERT_EQ(saved.size(), 4u) << r.output;
    const std::vector<uint8_t> last = file_bytes(saved.back());
    ASSERT_EQ(last.size(), tb::kVendorRecordBytes);
    EXPECT_TRUE(tb::fw_config_checksum_ok(last));
    EXPECT_EQ(tb::fw_config_item_text(last, *tb::find_fw_config_item("vendor_model_name")), "KORVA NEW MODEL");
}

TEST_F(VendorE2E, AnUnknownItemOrAValueTooLongChangesNothing) {
    auto unknown = run(kVendorNvme, "VSC_SetFWconfig( FWCfgItem:\"no_such_item\", SetValue:\"1\" );\n");
    EXPECT_EQ(unknown.exit_code, tb::test::script_exit(-28)) << unknown.output;
    EXPECT_NE(unknown.output.find("no configuration item \"no_such_item\""), std::string::npos) << unknown.output;
    EXPECT_TRUE(tb::test::files_ending(log_of(unknown), ".fwcfg").empty()) << "nothing is read for a bad name";

    auto too_long = run(kVendorNvme,
                        "SetErrorSkip( 1 );\n"
                        "VSC_SetFWconfig( FWCfgItem:\"vendor_fw_name\", SetValue:\"FIRMWARE-NAME-FAR-TOO-LONG-FOR-IT\" );\n"
                        "Print( Output:\"---- read back ----\" );\n"
                        "VSC_GetFWconfig( FWCfgItem:\"vendor_fw_name\" );\n");
    ASSERT_EQ(too_long.exit_code, 0) << too_long.output;
    EXPECT_NE(too_long.output.find("does not fit vendor_fw_name"), std::string::npos) << too_long.output;
    EXPECT_EQ(too_long.output.find("FIRMWARE-NAME-FAR-TOO-LONG", too_long.output.find("---- read back ----")),
              std::string::npos)
        << too_long.output;
    const auto saved = tb::test::files_ending(log_of(too_long), ".fwcfg");
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(file_bytes(saved.front()), file_bytes(saved.back())) << "the configuration changed";
}

TEST_F(VendorE2E, BrandNewClearsTheSmartCountersOnceTheDriveIsReady) {
    auto r = run(kSmallVendorNvme, std::string(kWriteSector) + host_writes("BEFORE") +
                                       "VSC_BrandNew( ConfirmMsg:FALSE );\n" + host_writes("AFTER"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = printed_values(r.output);
    EXPECT_GT(v["BEFORE"], 0) << r.output;
    EXPECT_EQ(v["AFTER"], 0) << r.output;
    EXPECT_NE(r.output.find("Brand New Done"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Brand New Timeout"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, ANoToTheBoxCancelsAndSendsNothing) {
    // Nobody answers a box in this run: every question is a "no".
    auto r = run(kVendorNvme, std::string(kWriteSector) + host_writes("BEFORE") + sector_word("WORD_BEFORE") +
                                  "VSC_BrandNew();\nVSC_FTLVirgin( ConfirmMsg:TRUE );\nVSC_KillFW();\n" +
                                  host_writes("AFTER") + sector_word("WORD_AFTER") +
                                  "rom = IsROMDrive();\nPrint( Output:\"ROM=\" + rom );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(count_of(r.output, "---- Cancel Command ----"), 3u) << r.output;
    auto v = printed_values(r.output);
    EXPECT_EQ(v["AFTER"], v["BEFORE"]) << r.output;
    EXPECT_EQ(v["WORD_AFTER"], v["WORD_BEFORE"]);
    EXPECT_NE(v["WORD_AFTER"], 0);
    EXPECT_EQ(v["ROM"], 0);
    EXPECT_EQ(r.output.find("ReLink"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, AnEmptyMappingTableReadsZerosAfterTheRelink) {
    auto r = run(kSmallVendorNvme, std::string(kWriteSector) + sector_word("BEFORE") +
                                       "back = VSC_FTLVirgin( ConfirmMsg:FALSE );\nPrint( Output:\"BACK=\" + back );\n" +
                                  sector_word("AFTER"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = printed_values(r.output);
    EXPECT_NE(v["BEFORE"], 0) << r.output;
    EXPECT_EQ(v["AFTER"], 0) << r.output;
    EXPECT_EQ(v["BACK"], 1) << r.output;
    EXPECT_NE(r.output.find("PCIE ReLink Disk"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Find Disk : \\\\.\\PHYSICALDRIVE1"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, ForceToRomModeAndBackRelinksEachTime) {
    auto r = run(kVendorNvme,
                 "VSC_ForceTo( iFWMode:0 );\n"
                 "rom = IsROMDrive();\nPrint( Output:\"ROM_AFTER_0=\" + rom );\n"
                 "SetVSCType( iVSCType:1 );\n"
                 "VSC_ForceTo( iFWMode:1 );\n"
                 "rom = IsROMDrive();\ncfg = IsFWCfgDisk();\n"
                 "Print( Output:\"ROM_AFTER_1=\" + rom + \" CFG=\" + cfg );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = printed_values(r.output);
    EXPECT_EQ(v["ROM_AFTER_0"], 1) << r.output;
    EXPECT_EQ(v["ROM_AFTER_1"], 0) << r.output;
    EXPECT_EQ(v["CFG"], 1) << r.output;
    EXPECT_EQ(count_of(r.output, "Remove ReScanDriver"), 2u) << r.output;
    EXPECT_EQ(count_of(r.output, "Find Disk : "), 2u) << r.output;
}

TEST_F(VendorE2E, KillFirmwareOnAConfigurableFirmwareForcesItsBootAndFindsTheDisk) {
    auto r = run(kVendorNvme, "back = VSC_KillFW( ConfirmMsg:FALSE );\nPrint( Output:\"BACK=\" + back );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("Force Boot"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Remove ReScanDriver"), std::string::npos) << r.output;
    EXPECT_EQ(printed_values(r.output)["BACK"], 1) << r.output;
}

TEST_F(VendorE2E, KillFirmwareOnADriveInRomModeAsksForAPowerReset) {
    auto r = run(kVendorNvme + "vendor_rom = 1\n", "SetVSCType( iVSCType:1 );\nVSC_KillFW( ConfirmMsg:FALSE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("Must Power Reset Disk to back ROM Code."), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Force Boot"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, BehindABridgeAnEmptyMappingTableRelinksThroughTheBridge) {
    auto r = run("type = usb\nbridge = jmicron\ncapacity = 64MiB\nvendor = 0\nvendor_soc = 0x2262\n",
                 std::string(kWriteSector) + "b = VSC_FTLVirgin( ConfirmMsg:FALSE );\nPrint( Output:\"BACK=\" + b );\n" +
                     sector_word("ZERO"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = printed_values(r.output);
    EXPECT_EQ(v["BACK"], 1) << r.output;
    EXPECT_EQ(v["ZERO"], 0) << r.output;
    EXPECT_NE(r.output.find("JMI USB Bridge Power ReLink Disk"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("PCIE ReLink Disk"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, BehindABridgeKillFirmwarePowerCyclesTheDiskIntoItsRomCode) {
    auto r = run("type = usb\nbridge = jmicron\ncapacity = 8GB\nvendor = 1\nvendor_soc = 0x2262\n",
                 "k = VSC_KillFW( ConfirmMsg:FALSE );\nrom = IsROMDrive();\n"
                 "Print( Output:\"KILLED=\" + k + \" ROM=\" + rom );\n"
                 "SetVSCType( iVSCType:1 );\nVSC_ForceTo( iFWMode:1 );\nrom = IsROMDrive();\n"
                 "Print( Output:\"ROM_AGAIN=\" + rom );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = printed_values(r.output);
    EXPECT_EQ(v["KILLED"], 1) << r.output;
    EXPECT_EQ(v["ROM"], 1) << "recovery mode leaves the drive in its ROM code\n" << r.output;
    EXPECT_EQ(v["ROM_AGAIN"], 0) << r.output;
    EXPECT_NE(r.output.find("Power Reset"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("JMI USB Bridge Power ReLink Disk"), std::string::npos) << "the force's re-link\n"
                                                                                  << r.output;
    EXPECT_EQ(r.output.find("Force Boot"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, ADriveThatNeverReportsReadyEndsBrandNewWithItsTimeout) {
    // The drive takes brand new but refuses every drive information read.
    auto r = run(kSmallVendorNvme + "vendor_drive_info = 0\n", "VSC_BrandNew( ConfirmMsg:FALSE );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-76)) << r.output;
    EXPECT_NE(r.output.find("Brand New Timeout"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Brand New Done"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, ThinCapacityChangesTheCapacityTheDiskShows) {
    auto r = run(kVendorNvme, "VSC_SetThinCapacity( SizeGB:2 );\nReScanDriver();\nDiskList();\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const size_t list = r.output.find("ReScanDriver(");
    ASSERT_NE(list, std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" 2GB ", list), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find(" 8GB ", list), std::string::npos) << r.output;
}

TEST_F(VendorE2E, TheSocIdentifierIsReadInEachGeneration) {
    // Selectors 1 and 0 are found by the identification itself.
    for (const char* selector : {"1", "0"}) {
        auto r = run(std::string("type = nvme\ncapacity = 8GB\nvendor = ") + selector + "\nvendor_soc = 0x2263\n",
                     "a = GetSocID();\nb = VSC_GetSocID();\ncfg = IsFWCfgDisk();\n"
                     "Print( Output:\"SOC=\" + a + \" SOC2=\" + b + \" CFG=\" + cfg );\nVSC_GetDrvInfo();\n");
        ASSERT_EQ(r.exit_code, 0) << selector << "\n" << r.output;
        EXPECT_NE(r.output.find("SOC=0x2263 SOC2=0x2263 CFG=1"), std::string::npos) << selector << "\n" << r.output;
        EXPECT_NE(r.output.find("SoC ID           : 2263"), std::string::npos) << selector << "\n" << r.output;
    }
    // The identification never picks 192: the script names it.
    auto r = run("type = nvme\ncapacity = 8GB\nvendor = 192\nvendor_soc = 0x2263\n",
                 "SetVSCType( iVSCType:192 );\nVSC_GetDrvInfo();\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("VSC Type : 192"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("SoC ID           : 2263"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, TheRecordsArePrintedAndSavedInTheLogFolder) {
    auto r = run(kVendorNvme,
                 "VSC_GetDrvInfo();\nVSC_GetMPinfo( DefectList:TRUE );\nVSC_GetGrownDefect();\nVSC_GetOTPuid();\n"
                 "VSC_GetReconstructionStatus();\nVSC_GetVPDData();\nVSC_CriticalLog();\n"
                 "VSC_GetSPIDbgInfo();\nVSC_KeepFRB();\nVSC_CleanSMART();\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    for (const char* line : {"SoC ID           : 2262", "FW Source        : 0x", "SocUID             : 0x",
                             "OTP_ATE            : 0x", "percentage", "Manufacturer         : ",
                             "Critical Log File : ", "SPI Debug File : "})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    const std::string log = log_of(r);
    for (const char* ext : {".drv", ".mpinfo", ".gd", ".dgd", ".vpd", ".cri", ".Hex"})
        EXPECT_EQ(tb::test::files_ending(log, ext).size(), 1u) << ext << "\n" << r.output;
    const auto drv = tb::test::files_ending(log, ".drv");
    ASSERT_FALSE(drv.empty());
    const auto info = tb::decode_drive_information(file_bytes(drv.front()));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->soc_id, 0x2262);
}

TEST_F(VendorE2E, TheCrashDumpIsSavedAndDecoded) {
    const std::string named = (dir_ / "second_dump").string();
    auto r = run(kVendorNvme, "f = VSC_Cdump();\nGetLogPage_Cdump( SaveFile:\"" + named + "\", Encode:TRUE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(count_of(r.output, "Dump Size     :     0 MB"), 2u) << r.output;
    EXPECT_EQ(count_of(r.output, "Cdump File    : "), 2u) << r.output;
    const auto saved = tb::test::files_ending(log_of(r), ".cdump");
    ASSERT_EQ(saved.size(), 1u) << r.output;
    const std::vector<uint8_t> dump = file_bytes(saved.front());
    ASSERT_FALSE(dump.empty());
    EXPECT_EQ(dump.size() % 4096, 0u);
    EXPECT_EQ(tb::crash_dump_total_bytes(dump), dump.size());
    const auto decoded = tb::decode_crash_dump(dump);
    ASSERT_TRUE(decoded);
    ASSERT_FALSE(decoded->sections.empty());
    EXPECT_NE(r.output.find(decoded->sections.front().name), std::string::npos)
        << "the decoded sections were printed\n" << r.output;
    // The named file holds the same dump, read again from its start.
    EXPECT_EQ(file_bytes(dir_ / "second_dump.cdump"), dump) << r.output;
}

TEST_F(VendorE2E, AnOperationTheGenerationLacksIsNotAvailable) {
    auto r = run("type = nvme\ncapacity = 8GB\nvendor = 192\n", "SetVSCType( iVSCType:192 );\nVSC_GetSPIDbgInfo();\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-74)) << r.output;
    EXPECT_NE(r.output.find("not available with command set 192"), std::string::npos) << r.output;
}

TEST_F(VendorE2E, APlainDiskRefusesEveryVendorCommandAndKeepsItsState) {
    const std::vector<std::string> commands = {
        "SetVSCType( iVSCType:1 )",          "VSC_BrandNew( ConfirmMsg:FALSE )", "VSC_CleanSMART()",
        "VSC_FTLVirgin( ConfirmMsg:FALSE )", "VSC_ForceTo( iFWMode:0 )",         "VSC_KillFW( ConfirmMsg:FALSE )",
        "VSC_KeepFRB()",                     "VSC_SetThinCapacity( SizeGB:1 )",  "VSC_GetDrvInfo()",
        "VSC_GetFWconfig()",                 "VSC_GetMPOem()",
        "VSC_SetFWconfig( FWCfgItem:\"vendor_model_name\", SetValue:\"X\" )",
        "VSC_SetMPOem( FWCfgItem:\"vendor_model_name\", SetValue:\"X\" )",
        "VSC_GetMPinfo()",                   "VSC_GetGrownDefect()",             "VSC_GetOTPuid()",
        "VSC_GetReconstructionStatus()",     "VSC_GetVPDData()",                 "VSC_GetEventLog()",
        "VSC_CriticalLog()",                 "VSC_GetSPIDbgInfo()",              "VSC_Cdump()",
        "GetLogPage_Cdump()",
    };
    std::string script = std::string("SetErrorSkip( 100 );\n") + kWriteSector + host_writes("BEFORE") +
                         sector_word("WORD_BEFORE");
    for (const std::string& c : commands) script += c + ";\n";
    script += "e = GetErrorCount();\nPrint( Output:\"ERRORS=\" + e );\n" + host_writes("AFTER") +
              sector_word("WORD_AFTER") + "rom = IsROMDrive();\nPrint( Output:\"ROM=\" + rom );\n";
    auto r = run("type = nvme\ncapacity = 8GB\n", script);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = printed_values(r.output);
    EXPECT_EQ(v["ERRORS"], static_cast<long long>(commands.size())) << r.output;
    EXPECT_EQ(count_of(r.output, "[Error Desc]:  IO Control Error. "), commands.size()) << r.output;
    EXPECT_EQ(v["AFTER"], v["BEFORE"]) << "a vendor command moved the counters\n" << r.output;
    EXPECT_EQ(v["WORD_AFTER"], v["WORD_BEFORE"]) << r.output;
    EXPECT_EQ(v["ROM"], 0) << r.output;
    EXPECT_EQ(r.output.find("ReLink"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("ReScanDriver"), std::string::npos) << r.output;
    for (const char* ext : {".drv", ".fwcfg", ".mpinfo", ".gd", ".vpd", ".eraw", ".cri", ".cdump"})
        EXPECT_TRUE(tb::test::files_ending(log_of(r), ext).empty()) << ext;
}

// ---- the vendor ATA protocol on a SATA disk ------------------------------

// Small: brand new empties its whole mapping table.
const std::string kVendorSata = "type = sata\ncapacity = 64MiB\nvendor = ata\nvendor_soc = 0x2262\n";

TEST_F(VendorE2E, TheAtaFormsReadAndChangeTheSataDisk) {
    auto r = run(kVendorSata,
                 "VSC_GetDrvInfo();\n"
                 "VSC_SetFWconfig( FWCfgItem:\"drv_serial_number\", SetValue:\"SATA0042\" );\n"
                 "s = VSC_GetFWconfig( FWCfgItem:\"drv_serial_number\" );\n"
                 "n = VSC_GetEventLog( DecodeType:0 );\nPrint( Output:\"EVENTS=\" + n );\n"
                 "VSC_CleanEventLog();\nVSC_TrainDDREye();\nVSC_GetOTPuid();\nVSC_GetReconstructionStatus();\n"
                 "VSC_GetMPinfo();\nVSC_GetGrownDefect();\nVSC_CleanSMART();\nVSC_KeepFRB();\n"
                 "VSC_BrandNew( ConfirmMsg:FALSE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("SoC ID           : 2262"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("-> SATA0042"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Eventlog Size : "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Dump Size     : "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Brand New Done"), std::string::npos) << r.output;
    const std::string log = log_of(r);
    for (const char* ext : {".drv", ".fwcfg", ".eraw", ".mpinfo", ".gd", ".dgd"})
        EXPECT_FALSE(tb::test::files_ending(log, ext).empty()) << ext << "\n" << r.output;
}

TEST_F(VendorE2E, TheAtaOnlyCommandsAreNoNvmeCommands) {
    auto r = run(kVendorNvme, "VSC_CleanEventLog();\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-16)) << r.output;
}

TEST_F(VendorE2E, TheEventLogOfAnNvmeDiskIsNotAvailable) {
    auto r = run(kVendorNvme, "VSC_GetEventLog();\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-74)) << r.output;
    EXPECT_NE(r.output.find("read through the vendor ATA protocol only"), std::string::npos) << r.output;
}

}  // namespace
