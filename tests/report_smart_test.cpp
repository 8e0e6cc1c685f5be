// SMART reports: the NVMe SMART / Health table and the ATA attribute table,
// their change column across readings of one job, the item selection and the
// attached ".smart" data file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/smart_report.h"
#include "platform/sim/sim_pattern_images.h"
#include "tests/report_bench.h"
#include "common/file_handle.h"

namespace tb::report_test {
namespace {

std::vector<LogLine> run_lines(const std::string& statement) {
    test::run(statement);
    return last_command_lines();
}

// The column `index` of a row: 0 the label, then the parts between bars
// (1 description, 2 hex, 3 decimal, 4 change).
std::string column(const std::string& row, size_t index) {
    std::vector<std::string> cols;
    const size_t colon = row.find(" : ");
    std::string label = row.substr(0, colon);
    while (!label.empty() && label.back() == ' ') label.pop_back();
    cols.push_back(label);
    std::string rest = row.substr(colon + 3);
    size_t p = 0;
    for (;;) {
        const size_t bar = rest.find('|', p);
        std::string c = rest.substr(p, bar == std::string::npos ? std::string::npos : bar - p);
        while (!c.empty() && c.front() == ' ') c.erase(c.begin());
        while (!c.empty() && c.back() == ' ') c.pop_back();
        cols.push_back(c);
        if (bar == std::string::npos) break;
        p = bar + 1;
    }
    return index < cols.size() ? cols[index] : std::string("<none>");
}

const LogLine* row_of(const std::vector<LogLine>& lines, const std::string& label) {
    for (const LogLine& l : lines)
        if (l.text.find(label) != std::string::npos) return &l;
    return nullptr;
}

TEST(ReportSmartTable, HasTheEightyEightRowsInOffsetOrderWithinTheLog) {
    const auto rows = nvme_smart_rows();
    ASSERT_EQ(rows.size(), 88u);
    size_t standard = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const SmartRow& r = rows[i];
        EXPECT_TRUE(r.width == 1 || r.width == 2 || r.width == 4 || r.width == 8) << r.label;
        EXPECT_LE(r.offset + r.width, 428) << r.label;
        if (i) EXPECT_GE(r.offset, rows[i - 1].offset + rows[i - 1].width) << r.label << " overlaps";
        if (r.kind == SmartRowKind::Standard) {
            ++standard;
            EXPECT_LT(r.offset, 232) << r.label;
        } else {
            EXPECT_GE(r.offset, 232) << r.label;
        }
    }
    EXPECT_EQ(standard, 30u);
}

class ReportSmart : public ::testing::Test {
  protected:
    ReportBench pattern{true};
};

TEST_F(ReportSmart, WholeNvmeTableWithVendorRowsMatchesTheReviewedFile) {
    pattern.target(kNvmeDisk);
    const std::vector<LogLine> lines = run_lines("SMART( ShowVSC:TRUE );");
    expect_golden(lines, "smart_nvme.txt");
    ASSERT_EQ(lines.size(), 89u);
    EXPECT_EQ(lines[0].text, "Offset         : Desc                                       |                Hex |"
                             "             DEC |           dxRAW");
    EXPECT_EQ(lines[0].colour, colour::kYellow);
}

TEST_F(ReportSmart, VendorRowsNeedShowVendor) {
    pattern.target(kNvmeDisk);
    const std::vector<LogLine> plain = run_lines("GetLogPage_SMART();");
    EXPECT_EQ(plain.size(), 31u);
    EXPECT_EQ(row_of(plain, "Defect Cnt"), nullptr);
    const std::vector<LogLine> vendor = run_lines("GetLogPage_SMART( ShowVendor:TRUE );");
    EXPECT_EQ(vendor.size(), 89u);
    ASSERT_NE(row_of(vendor, "Defect Cnt"), nullptr);
    EXPECT_EQ(row_of(vendor, "Defect Cnt")->colour, colour::kWhite);
    EXPECT_EQ(row_of(vendor, "Power On Hours")->colour, colour::kCyan);
}

TEST_F(ReportSmart, ItemsChooseRowsByByteOffsetAndReturnTheirHexValues) {
    pattern.target(kNvmeDisk);
    const std::vector<std::string> got = texts(run_lines("a[] = SMART( Items:\"112|1|3\" );"));
    ASSERT_EQ(got.size(), 3u) << "no header with Items";
    EXPECT_EQ(got[0],
              "Byte 1         : Composite Temperature                      |             0x0201 |             513 |"
              "               0");
    EXPECT_EQ(column(got[2], 0), "Byte 112");
    EXPECT_EQ(test::var("a[0]"), "0x201");
    EXPECT_EQ(test::var("a[1]"), "0x3");
    EXPECT_EQ(test::var("a[2]"), "0x7776757473727170");
    test::run("t = SMART( Items:\"1\" );");
    EXPECT_EQ(test::var("t"), "0x201") << "one value is a number";
}

TEST_F(ReportSmart, TheLogIsAttachedAsAHiddenSmartFile) {
    pattern.target(kNvmeDisk);
    run_lines("SMART();");
    close_job_logs(0);
    std::string raw;
    ASSERT_TRUE(read_file_bytes(pattern.folder() + "/_Result.txt", raw));
    std::string text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) text += raw[i];
    const size_t p = text.find("FINDHEX:");
    ASSERT_NE(p, std::string::npos);
    const std::string path = text.substr(p + 8, text.find('\n', p) - p - 8);
    EXPECT_NE(path.find(".smart"), std::string::npos) << path;
    std::string bytes;
    ASSERT_TRUE(read_file_bytes(path, bytes));
    const std::vector<uint8_t> want = sim::pattern_smart_log();
    EXPECT_EQ(bytes, std::string(want.begin(), want.end()));
}

TEST(ReportSmartChange, TwoReadingsShowTheChangeOfEachCounter) {
    ReportBench live(false);
    live.target(kNvmeDisk);
    const std::vector<LogLine> first = run_lines("SMART();");
    const LogLine* writes = row_of(first, "Host Write Commands");
    ASSERT_NE(writes, nullptr);
    EXPECT_EQ(column(writes->text, 4), "0") << "the first reading is its own previous one";
    live.machine().with_disk(kNvmeDisk, [](sim::SimDisk& d) {
        d.nvme_controller()->counters().host_writes += 7;
        d.nvme_controller()->counters().power_cycles += 2;
    });
    const std::vector<LogLine> second = run_lines("SMART();");
    writes = row_of(second, "Host Write Commands");
    ASSERT_NE(writes, nullptr);
    EXPECT_EQ(column(writes->text, 4), "7");
    ASSERT_NE(row_of(second, "Power Cycles"), nullptr);
    EXPECT_EQ(column(row_of(second, "Power Cycles")->text, 4), "2");
    EXPECT_EQ(column(row_of(second, "Unsafe Shutdowns")->text, 4), "0");
    // A new job starts from its own first reading again.
    test::fresh_slot();
    app().run_style = kStyleWindow;
    discover_disks();
    live.target(kNvmeDisk);
    live.machine().with_disk(kNvmeDisk, [](sim::SimDisk& d) { d.nvme_controller()->counters().host_writes += 3; });
    const std::vector<LogLine> third = run_lines("SMART();");
    ASSERT_NE(row_of(third, "Host Write Commands"), nullptr);
    EXPECT_EQ(column(row_of(third, "Host Write Commands")->text, 4), "0");
}

TEST(ReportSmartChange, AFallingValueShowsANegativeChange) {
    std::vector<uint8_t> before(512, 0), now(512, 0);
    before[3] = 100;  // available spare
    now[3] = 97;
    const SmartReport r = nvme_smart_report(now, before, false, "");
    const LogLine* spare = nullptr;
    std::vector<LogLine> lines;
    for (const ReportLine& l : r.lines) lines.push_back({10, l.colour, false, LineKind::Text, l.text, {}});
    spare = row_of(lines, "Available Spare  ");
    ASSERT_NE(spare, nullptr);
    EXPECT_EQ(column(spare->text, 4), "-3");
}

// ---- ATA -------------------------------------------------------------------------

TEST_F(ReportSmart, WholeAtaTableMatchesTheReviewedFile) {
    pattern.target(kSataDisk);
    const std::vector<LogLine> lines = run_lines("SMART();");
    expect_golden(lines, "smart_ata.txt");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text, "ID: Description                                  |   Current| Threshold|     Raw(Hex)|"
                             "      Raw(Value)|           dxRaw");
}

TEST_F(ReportSmart, AtaItemsChooseAttributesByDecimalId) {
    pattern.target(kSataDisk);
    const std::vector<std::string> got = texts(run_lines("a[] = SMART( Items:\"9|194\" );"));
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0].substr(0, 4), "09: ");
    EXPECT_EQ(got[1].substr(0, 4), "C2: ");
    EXPECT_EQ(test::var("a[0]"), "58498313498928");  // raw bytes 30..35, least significant first
}

TEST(ReportSmartAta, ChangeIsTakenPerAttributePosition) {
    std::vector<uint8_t> prev = sim::pattern_ata_smart_data(), now = prev;
    const std::vector<uint8_t> thr = sim::pattern_ata_smart_thresholds();
    now[2 + 5] += 4;          // attribute 0 (id 0x01): raw + 4
    prev[2 + 12 * 1] = 0x77;  // attribute 1 had another id before: no change shown
    now[2 + 12 * 1 + 5] += 9;
    const SmartReport r = ata_smart_report(now, thr, prev, "");
    ASSERT_GE(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[1].text.substr(r.lines[1].text.size() - 17), "|               4");
    EXPECT_EQ(r.lines[2].text.substr(r.lines[2].text.size() - 17), "|               0");
}

TEST(ReportSmartAta, SelfTestLines) {
    std::vector<uint8_t> data(512, 0), thr(512, 0);
    data[363] = 0xF3;  // running, 30 % left
    data[367] = 0x10;
    data[372] = 1;
    data[373] = 12;
    std::vector<std::string> got;
    for (const ReportLine& l : ata_smart_report(data, thr, {}, "").lines) got.push_back(l.text);
    const std::vector<std::string> want = {
        "ID: Description                                  |   Current| Threshold|     Raw(Hex)|      Raw(Value)|"
        "           dxRaw",
        "Self-test Support           : 1",
        "Short Self-test Time(mins)  : 1",
        "Extend Self-test Time(mins) : 12",
        "Self-test Percent Remaining(%) : 30",
        "Self-test Status(Code)         : 15",
        "Self-test Status(Desc)         : Progress Running",
    };
    EXPECT_EQ(got, want);
    data[363] = 0x70;
    got.clear();
    for (const ReportLine& l : ata_smart_report(data, thr, {}, "").lines) got.push_back(l.text);
    EXPECT_EQ(got.back(), "Self-test Status(Desc)         : Unknow Error");
}

}  // namespace
}  // namespace tb::report_test
