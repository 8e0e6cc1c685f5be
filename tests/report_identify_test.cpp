// Identify reports: the byte-range reports of Identify Controller and
// Identify Namespace, the IDENTIFY DEVICE word report and the item summaries,
// on simulated disks, against reviewed expected files.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "disk/ata_identify_layout.h"
#include "disk/nvme_identify_layout.h"
#include "disk/report_commands.h"
#include "platform/sim/sim_pattern_images.h"
#include "script/app_context.h"
#include "tests/report_bench.h"
#include "common/file_handle.h"

namespace tb::report_test {
namespace {

std::vector<LogLine> run_lines(const std::string& statement) {
    test::run(statement);
    return last_command_lines();
}

// The data file the newest command attached (its FINDHEX entry).
std::string attached_file(const std::string& folder) {
    close_job_logs(0);
    std::string raw;
    read_file_bytes(folder + "/_Result.txt", raw);
    std::string text;  // UTF-16LE, ASCII only here
    for (size_t i = 0; i + 1 < raw.size(); i += 2) text += raw[i];
    const size_t p = text.find("FINDHEX:");
    if (p == std::string::npos) return {};
    return text.substr(p + 8, text.find('\n', p) - p - 8);
}

// ---- Field tables ------------------------------------------------------------

// Every byte of a structure belongs to exactly one field (the repeated
// entries included), and the bit groups of a field tile its bits from the
// top down without gaps or overlaps.
void check_layout(const StructureLayout& layout, const RepeatedEntry& rep, size_t total) {
    std::vector<int> owner(total, -1);
    auto claim = [&](size_t off, size_t width, int id) {
        for (size_t i = off; i < off + width; ++i) {
            ASSERT_LT(i, total) << "field " << off << " runs past the end";
            EXPECT_EQ(owner[i], -1) << "byte " << i << " in two fields (" << off << ")";
            owner[i] = id;
        }
    };
    for (const FieldDef& f : layout.fields) claim(f.offset, f.width, f.offset);
    for (unsigned n = 0; n < rep.count; ++n) claim(rep.first_offset + n * rep.width, rep.width, -2);
    for (size_t i = 0; i < total; ++i) EXPECT_NE(owner[i], -1) << "byte " << i << " in no field";

    std::set<uint16_t> with_bits;
    for (const BitDef& b : layout.bits) with_bits.insert(b.offset);
    for (uint16_t off : with_bits) {
        const auto field = std::find_if(layout.fields.begin(), layout.fields.end(),
                                        [&](const FieldDef& f) { return f.offset == off; });
        ASSERT_NE(field, layout.fields.end()) << "bit groups of byte " << off << " name no field";
        int next = field->width * 8 - 1;
        for (const BitDef& b : layout.bits) {
            if (b.offset != off) continue;
            EXPECT_EQ(b.hi, next) << "byte " << off << " bits " << b.hi << "-" << b.lo;
            EXPECT_LE(b.lo, b.hi);
            next = b.lo - 1;
        }
        EXPECT_EQ(next, -1) << "bit groups of byte " << off << " stop above bit 0";
    }
    int next = rep.width * 8 - 1;
    for (const BitDef& b : rep.bits) {
        EXPECT_EQ(b.hi, next);
        next = b.lo - 1;
    }
    EXPECT_EQ(next, -1);
}

TEST(ReportLayout, IdentifyTablesCoverEveryByteAndBitOnce) {
    check_layout(identify_controller_layout(), kPowerStateEntries, 4096);
    check_layout(identify_namespace_layout(), kLbaFormatEntries, 4096);
}

TEST(ReportLayout, IdentifyDeviceTableCoversEveryWordAndBitOnce) {
    std::vector<int> owner(256, -1);
    for (const WordDef& f : identify_device_words())
        for (unsigned w = f.word; w < f.word + f.count; ++w) {
            ASSERT_LT(w, 256u);
            EXPECT_EQ(owner[w], -1) << "word " << w;
            owner[w] = f.word;
        }
    for (int w = 0; w < 256; ++w) EXPECT_NE(owner[w], -1) << "word " << w;
    std::set<uint16_t> with_bits;
    for (const WordBitDef& b : identify_device_bits()) with_bits.insert(b.word);
    for (uint16_t w : with_bits) {
        ASSERT_EQ(owner[w], w) << "bit groups of word " << w << " on a field that does not start there";
        int next = 15;
        for (const WordBitDef& b : identify_device_bits()) {
            if (b.word != w) continue;
            EXPECT_EQ(b.hi, next) << "word " << w;
            next = b.lo - 1;
        }
        EXPECT_EQ(next, -1) << "word " << w;
    }
}

// ---- Byte-range reports on the pattern images --------------------------------------

class ReportIdentify : public ::testing::Test {
  protected:
    ReportBench bench{true};
};

TEST_F(ReportIdentify, WholeControllerReportMatchesTheReviewedFile) {
    bench.target(kNvmeDisk);
    const std::vector<LogLine> lines = run_lines("Identify_Controller( StartByte:0, EndByte:4095 );");
    expect_golden(lines, "identify_controller.txt");
    // The first line in its fixed layout, character for character.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text,
              "Byte 0-1              : Vendor ID (VID)                                                        | 0100");
}

TEST_F(ReportIdentify, WholeNamespaceReportHighlightsTheSelectedFormat) {
    bench.target(kNvmeDisk);
    const std::vector<LogLine> lines = run_lines("Identify_Namespace( StartByte:0, EndByte:4095 );");
    expect_golden(lines, "identify_namespace.txt");
    int highlighted = 0, formats = 0;
    for (const LogLine& l : lines) {
        if (l.text.find("LBA Format ") == std::string::npos || l.text.rfind("Byte ", 0) != 0) continue;
        ++formats;
        if (l.colour == colour::kYellow) {
            ++highlighted;
            EXPECT_NE(l.text.find("LBA Format 19 Support (LBAF19)"), std::string::npos) << l.text;
        }
    }
    EXPECT_EQ(formats, 64);
    EXPECT_EQ(highlighted, 1);
}

TEST_F(ReportIdentify, OneByteRangePrintsTheCmicLineAndItsBitLinesOnly) {
    bench.target(kNvmeDisk);
    const std::vector<std::string> got = texts(run_lines("Identify_Controller( StartByte:76, EndByte:76 );"));
    const std::vector<std::string> want = {
        "Byte 76               : Controller Multi-Path I/O Capabilities (CMIC)                          | 0x4C",
        "    [76]Bit 7-4       : Reserved                                                               | 0x4",
        "    [76]Bit 3         : ANA Reporting Supported                                                | 0x1",
        "    [76]Bit 2         : Controller Associated with an SR-IOV Virtual Function                  | 0x1",
        "    [76]Bit 1         : NVM Subsystem May Contain Two or More Controllers                      | 0x0",
        "    [76]Bit 0         : NVM Subsystem May Contain Two or More Physical PCIe Ports              | 0x0",
    };
    EXPECT_EQ(got, want);
}

TEST_F(ReportIdentify, RangesAreClampedToTheStructure) {
    bench.target(kNvmeDisk);
    // Beyond the end: the range becomes 4095..4095, where no field starts.
    EXPECT_TRUE(run_lines("Identify_Controller( StartByte:5000, EndByte:9000 );").size() == 0);
    // An end past 4095 still reaches the last fields; a start above the end
    // becomes the end.
    std::vector<std::string> tail = texts(run_lines("Identify_Controller( StartByte:3010, EndByte:70000 );"));
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.front().substr(0, 22), "Byte 3040-3071        ");
    EXPECT_EQ(tail.back().substr(0, 22), "Byte 3072-4095        ");
    std::vector<std::string> one = texts(run_lines("Identify_Namespace( StartByte:30, EndByte:26 );"));
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(one.front().substr(0, 9), "Byte 26  ");
    EXPECT_EQ(std::count_if(one.begin(), one.end(), [](const std::string& s) { return s.rfind("Byte", 0) == 0; }),
              1);
}

TEST_F(ReportIdentify, TheStructureIsAttachedAsAHiddenHexFile) {
    bench.target(kNvmeDisk);
    const std::vector<LogLine> lines = run_lines("Identify_Controller( StartByte:0, EndByte:10 );");
    for (const LogLine& l : lines) EXPECT_NE(l.kind, LineKind::HexFile) << "the data file is not shown";
    const std::string path = attached_file(bench.folder());
    ASSERT_NE(path.find(".Hex"), std::string::npos) << path;
    std::string bytes;
    ASSERT_TRUE(read_file_bytes(path, bytes));
    const std::vector<uint8_t> want = sim::pattern_identify_controller();
    EXPECT_EQ(bytes, std::string(want.begin(), want.end()));
}

TEST_F(ReportIdentify, ACancelledJobStopsTheReportWithTheCancelLine) {
    bench.target(kNvmeDisk);
    set_cancel(0);
    const size_t before = job_log_lines(0).size();
    cmd_Identify_Controller(0, "StartByte:0, EndByte:4095", "Identify_Controller");
    const std::vector<LogLine> all = job_log_lines(0);
    ASSERT_EQ(all.size(), before + 1);
    EXPECT_EQ(all.back().text, "---- Cancel Command ----");
    EXPECT_EQ(all.back().colour, colour::kCyan);
}

TEST_F(ReportIdentify, MissingRangeArgumentsAreRefused) {
    bench.target(kNvmeDisk);
    cmd_Identify_Controller(0, "StartByte:0", "Identify_Controller");
    EXPECT_EQ(job_slot(0)->error_code, kErrParam);
}

TEST_F(ReportIdentify, WholeWordReportMatchesTheReviewedFile) {
    bench.target(kSataDisk);
    const std::vector<LogLine> lines = run_lines("IdentifyEx( StartWord:0, EndWord:255 );");
    expect_golden(lines, "identify_device.txt");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].text,
              "Word 0            : General Configuration                                                | 0x00FF");
    EXPECT_EQ(lines[1].text,
              "    [0]Bit 15     : ATA Device Identifier                                                | 0x0");
    EXPECT_NE(lines.back().text.find("[255]Bit 7-0"), std::string::npos);
}

TEST_F(ReportIdentify, WordRangeIsClamped) {
    bench.target(kSataDisk);
    const std::vector<std::string> got = texts(run_lines("IdentifyEx( StartWord:300, EndWord:900 );"));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].substr(0, 30), "Word 255          : Integrity ");
}

// ---- Item summaries -------------------------------------------------------------

TEST_F(ReportIdentify, NvmeItemSummaryMatchesTheReviewedFile) {
    bench.target(kNvmeDisk);
    const std::vector<LogLine> lines = run_lines("Identify();");
    expect_golden(lines, "identify_items_nvme.txt");
    EXPECT_EQ(test::var("Identify"), "<undefined>") << "an empty Items returns nothing";
}

TEST_F(ReportIdentify, AtaItemSummaryMatchesTheReviewedFile) {
    bench.target(kSataDisk);
    expect_golden(run_lines("Identify();"), "identify_items_ata.txt");
}

TEST_F(ReportIdentify, SeveralItemsAssignAnArrayInTableOrder) {
    bench.target(kNvmeDisk);
    const std::vector<std::string> got = texts(run_lines("a[] = Identify( Items:\"SN | mn\" );"));
    const std::vector<std::string> want = {"Model Number               : TAMBLOR PATTERN NVME CONTROLLER",
                                           "Serial Number              : PATSN-0123456789ABCD"};
    EXPECT_EQ(got, want);
    EXPECT_EQ(test::var("a[0]"), "TAMBLOR PATTERN NVME CONTROLLER");
    EXPECT_EQ(test::var("a[1]"), "PATSN-0123456789ABCD");
    test::run("n = ArrayLen( a[] );");
    EXPECT_EQ(test::var("n"), "2");
}

TEST_F(ReportIdentify, OneItemAssignsAPlainValue) {
    bench.target(kNvmeDisk);
    test::run("s = Identify( Items:\"sn\" );");
    EXPECT_EQ(test::var("s"), "PATSN-0123456789ABCD");
    test::run("v = Identify( Items:\"VID\" );");
    EXPECT_EQ(test::var("v"), "0x100") << "an identifier is a hexadecimal number";
    test::run("f = Identify( Items:\"LBA_FORMAT\" );");
    EXPECT_EQ(test::var("f"), "19");
    test::run("b = Identify( Items:\"SECTOR_SIZE\" );");
    EXPECT_EQ(test::var("b"), "4096");
    test::run("l = Identify( Items:\"LINK_SPEED\" );");
    EXPECT_EQ(test::var("l"), "4x4") << "a link speed is the text generation x width";
}

TEST_F(ReportIdentify, LinkSpeedFollowsTheRetrainedLink) {
    bench.target(kNvmeDisk);
    test::run("SetSystem_PCISpeed( Gen:2 );");
    const std::vector<std::string> got = texts(run_lines("Identify( Items:\"SUPPORT_SPEED|LINK_SPEED\" );"));
    const std::vector<std::string> want = {
        "PCIE Support Speed         :  4 |  4 |  PCIE Gen4 Signaling Speed (16.0 GTps) x 4",
        "Current PCIE Link Speed    :  2 |  4 |  PCIE Gen2 Signaling Speed (5.0 GTps) x 4"};
    EXPECT_EQ(got, want);
}

TEST_F(ReportIdentify, VendorItemsAreGrey) {
    bench.target(kNvmeDisk);
    const std::vector<LogLine> lines = run_lines("Identify( Items:\"SOCID|VSCTYPE|CFG_TYPE|ORIGIN_FW|NN\" );");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].colour, colour::kWhite);  // NN comes first in table order
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].colour, colour::kGrey) << lines[i].text;
}

TEST_F(ReportIdentify, AtaItemsChooseTheirLines) {
    bench.target(kSataDisk);
    const std::vector<std::string> got = texts(run_lines("a[] = Identify( Items:\"SECURITY|SN\" );"));
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0], "Serial Number              : PATSN-ATA-0123456789");
    EXPECT_EQ(got[1].substr(0, 29), "Security Supported         : ");
    EXPECT_EQ(got[6].substr(0, 29), "Master Password Capability : ");
    test::run("n = ArrayLen( a[] );");
    EXPECT_EQ(test::var("n"), "7");
}

}  // namespace
}  // namespace tb::report_test
