// Log page and identify-list reports: Error Information, firmware slots,
// Commands Supported and Effects, namespace descriptors, the active namespace
// list, and the decoding of Get Features values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/feature_report.h"
#include "disk/ata_identify_report.h"
#include "disk/log_reports.h"
#include "disk/nvme_identify_report.h"
#include "disk/smart_report.h"
#include "tests/report_bench.h"

namespace tb::report_test {
namespace {

std::vector<std::string> run_texts(const std::string& statement) {
    test::run(statement);
    return texts(last_command_lines());
}

std::vector<std::string> texts_of(const ReportLines& lines) {
    std::vector<std::string> out;
    for (const ReportLine& l : lines) out.push_back(l.text);
    return out;
}

void put(std::vector<uint8_t>& d, size_t at, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(ReportLogs, ErrorTableShowsEveryEntryWithItsFields) {
    std::vector<uint8_t> log(kErrorLogBytes, 0);
    put(log, 64 + 0, 5, 8);          // entry 1: error count
    put(log, 64 + 8, 1, 2);          // submission queue
    put(log, 64 + 10, 0x1234, 2);    // command id
    put(log, 64 + 12, 0x4002 << 1 | 1, 2);  // status field with the phase tag
    put(log, 64 + 14, 0x0312, 2);    // byte 0x12, bit 3
    put(log, 64 + 16, 0x1'0000ABCDull, 8);
    put(log, 64 + 24, 1, 4);         // namespace 1
    const std::vector<std::string> got = texts_of(error_information_report(log));
    ASSERT_EQ(got.size(), 64u);
    EXPECT_EQ(got[0], "ErrorID :            ErrCount| SubmissionQ| CommandID| Status| ErrByte| ErrBit|"
                      "                 LBA| Namespace");
    EXPECT_EQ(got[1], "Error00 :                   0|           0|         0|      0|       0|      0|"
                      "                   0|    0");
    EXPECT_EQ(got[2], "Error01 :                   5|           1|      1234|   4002|      12|      3|"
                      "                ABCD|    1");
    EXPECT_EQ(got[63].substr(0, 9), "Error62 :");
}

TEST(ReportLogs, EffectsLinesNameTheCommandAndDecodeTheBits) {
    std::vector<uint8_t> log(4096, 0);
    put(log, 0x10 * 4, 0x0002001F, 4);         // Firmware Commit
    put(log, 0xC1 * 4, 0x1, 4);                // a vendor opcode
    put(log, 1024 + 0x01 * 4, 0x00000003, 4);  // Write
    const std::vector<std::string> got = texts_of(command_effects_report(log));
    ASSERT_EQ(got.size(), 27u);
    const std::vector<std::string> first = {
        "DWORD 16        : Admin Command Opcode (10)               | Firmware Commit",
        "    Bit 19-31   : Reserved                                | 0x0",
        "    Bit 16-18   : Command Submission and Execution (CSE)  | 0x2",
        "    Bit 5-15    : Reserved                                | 0x0",
        "    Bit 4       : Controller Capability Change (CCC)      | 0x1",
        "    Bit 3       : Namespace Inventory Change (NIC)        | 0x1",
        "    Bit 2       : Namespace Capability Change (NCC)       | 0x1",
        "    Bit 1       : Logical Block Content Change (LBCC)     | 0x1",
        "    Bit 0       : Command Supported (CSUPP)               | 0x1",
    };
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 9), first);
    EXPECT_EQ(got[9], "DWORD 193       : Admin Command Opcode (C1)               | Vendor Command");
    EXPECT_EQ(got[18], "DWORD 1         : IO Command Opcode (01)                  | Write");
}

TEST(ReportLogs, DescriptorShowsTheFirstIdentifierLastByteFirst) {
    std::vector<uint8_t> list(4096, 0);
    list[0] = 2;
    list[1] = 16;
    for (int i = 0; i < 16; ++i) list[4 + i] = static_cast<uint8_t>(0xA0 + i);
    list[20] = 1;  // a second descriptor is not shown
    const ReportLines lines = namespace_descriptor_report(list);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "Namespace ID Type (NIDT):  0x0002 | Globally Unique ID");
    EXPECT_EQ(lines[0].colour, colour::kYellow);
    EXPECT_EQ(lines[1].text, "Namespace ID Length (NIDL) :  16");
    EXPECT_EQ(lines[2].text, "Namespace ID (NID)      :  AFAEADACABAAA9A8A7A6A5A4A3A2A1A0");
    EXPECT_EQ(lines[2].colour, colour::kCyan);
    list[0] = 9;
    list[1] = 200;  // longer than the data: at most 100 bytes shown
    const ReportLines other = namespace_descriptor_report(list);
    EXPECT_EQ(other[0].text, "Namespace ID Type (NIDT):  0x0009 | UNKNOW");
    EXPECT_EQ(other[0].colour, colour::kGrey);
    EXPECT_EQ(other[2].text.size(), std::string("Namespace ID (NID)      :  ").size() + 200);
}

TEST(ReportLogs, ActiveNamespacesStopAtTheFirstZero) {
    std::vector<uint8_t> list(4096, 0);
    put(list, 0, 1, 4);
    put(list, 4, 0x12, 4);
    put(list, 12, 7, 4);  // after the 0 at 8: not listed
    EXPECT_EQ(texts_of(active_namespace_report(list)),
              (std::vector<std::string>{"Active Namespace ID : 0x0001", "Active Namespace ID : 0x0012"}));
}

TEST(ReportFeatures, EveryListedFeatureDecodesItsFields) {
    EXPECT_EQ(texts_of(feature_field_lines(0x01, 0x11223304)),
              (std::vector<std::string>{"    HPW        : 0x11", "    MPW        : 0x22", "    LPW        : 0x33",
                                        "    AB         : 0x04"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x02, 0xE5)),
              (std::vector<std::string>{"    WH         : 0x07", "    PS         : 0x05"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x04, 0x00250157)),
              (std::vector<std::string>{"    THSEL      : 0x02", "    TMPSEL     : 0x05", "    TMPTH      : 0x157"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x05, 0x1002A)),
              (std::vector<std::string>{"    DULBE      : 0x01", "    TLER       : 0x2A"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x06, 0x3)), (std::vector<std::string>{"    WCE        : 0x01"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x07, 0x001F003F)),
              (std::vector<std::string>{"    NCQR       : 0x1F", "    NSQR       : 0x3F"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x08, 0x0A05)),
              (std::vector<std::string>{"    TIME       : 0x0A", "    THR        : 0x05"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x09, 0x10003)),
              (std::vector<std::string>{"    CD         : 0x01", "    IV         : 0x03"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x0A, 0x1)), (std::vector<std::string>{"    DN         : 0x01"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x0B, 0x70004A02)),
              (std::vector<std::string>{"    ReferTo_NVME_OVER_FABRICS : 0x07", "    Endurance_Log_Change      : 0x01",
                                        "    LBA_Status_Info           : 0x00", "    Latency_Event_Change      : 0x00",
                                        "    Namespace_Access_Change   : 0x01", "    Telemetry_Log             : 0x00",
                                        "    Firmwarw_Activation       : 0x01", "    Namespace_Attribute       : 0x00",
                                        "    SMART_CriticalWarnings    : 0x02"}));
    EXPECT_EQ(texts_of(feature_field_lines(0x10, 0x01570161)),
              (std::vector<std::string>{"Thermal Management Temperature 1 (TMT1) : 343 Kelvin",
                                        "Thermal Management Temperature 2 (TMT2) : 353 Kelvin"}));
    EXPECT_TRUE(feature_field_lines(0x03, 0xFFFFFFFF).empty());
    EXPECT_EQ(feature_name(0x03), nullptr);
}

// ---- On the simulated controller -------------------------------------------

class ReportLogsOnDisk : public ::testing::Test {
  protected:
    ReportBench bench{false};
    void SetUp() override { bench.target(kNvmeDisk); }
};

TEST_F(ReportLogsOnDisk, GetFeaturePrintsNameValueAndFieldsAndStoresTheValue) {
    const std::vector<std::string> got = run_texts("v = GetFeature( FeatureId:0x07 );");
    EXPECT_EQ(got, (std::vector<std::string>{"Feature ID 0x07: Queues", "Feature Value  : 0x003F003F",
                                             "    NCQR       : 0x3F", "    NSQR       : 0x3F"}));
    EXPECT_EQ(test::var("v"), "0x3F003F");
    const std::vector<std::string> unnamed = run_texts("GetFeature( FeatureId:0x03 );");
    ASSERT_FALSE(unnamed.empty());
    EXPECT_EQ(unnamed[0].rfind("Feature ID", 0), std::string::npos) << "no name line for other ids";
}

TEST_F(ReportLogsOnDisk, FirmwareSlotLinesFromIdentifyAndTheSlotLog) {
    const std::vector<std::string> got = run_texts("GetLogPage_FirmwareSlotInfo();");
    const std::vector<std::string> want = {
        "Maximum Data Transfer Size (MDTS)   : 9 | 2048KB",
        "Firmware Update Granularity (FWUG)  : 1 | 4KB",
        "Slot 1 ReadOnly                     : 0",
        "Active Without Reset                : 1",
        "Active Slot                         : 1",
        "Pending Activate Slot               : 0",
        "Firmware Slot Count                 : 3",
        "Slot1 Firmware                      : RN1.0",
        "Slot2 Firmware                      : ",
        "Slot3 Firmware                      : ",
    };
    EXPECT_EQ(got, want);
}

TEST_F(ReportLogsOnDisk, ListsFromTheController) {
    EXPECT_EQ(run_texts("Identify_ActiveNamespaceID();"), (std::vector<std::string>{"Active Namespace ID : 0x0001"}));
    const std::vector<std::string> d = run_texts("Identify_DescriptorNamespac();");
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0], "Namespace ID Type (NIDT):  0x0001 | IEEE Extended Unique ID");
    const std::vector<std::string> e = run_texts("GetLogPage_ErrorInfo();");
    EXPECT_EQ(e.size(), 64u);
    const std::vector<std::string> fx = run_texts("GetLogPage_CommandEffect();");
    ASSERT_FALSE(fx.empty());
    EXPECT_EQ(fx[0], "DWORD 2         : Admin Command Opcode (02)               | Get Log Page");
}

TEST_F(ReportLogsOnDisk, AFailedReadIsReportedAndPrintsNothing) {
    bench.target(kSataDisk);  // not an NVMe disk: the NVMe commands are not offered
    test::run("GetLogPage_ErrorInfo();");
    EXPECT_NE(job_slot(0)->error_code, 0);
    for (const std::string& t : texts(last_command_lines())) EXPECT_EQ(t.rfind("Error0", 0), std::string::npos);
}

}  // namespace
}  // namespace tb::report_test

namespace tb::report_test {
namespace {

// Truncated or empty buffers (a short transfer, a bad file) decode to what
// the bytes hold and never read past them.
TEST(ReportRobustness, ShortBuffersDecodeWithoutReadingPastThem) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{3}, size_t{77}, size_t{300}, size_t{2050}}) {
        std::vector<uint8_t> d(n, 0xA5);
        EXPECT_LE(identify_controller_report(d, 0, 4095).size(), 1100u);
        EXPECT_LE(identify_namespace_report(d, 0, 4095).size(), 400u);
        nvme_identify_items(d, d, NvmeItemContext{}, "");
        identify_device_report(d, 0, 255);
        nvme_smart_report(d, d, true, "");
        ata_smart_report(d, d, d, "");
        error_information_report(d);
        firmware_slot_report(d, d);
        command_effects_report(d);
        namespace_descriptor_report(d);
        active_namespace_report(d);
    }
}

}  // namespace
}  // namespace tb::report_test
