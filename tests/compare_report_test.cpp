// The report block of the compare commands: the golden lines for a clean
// run, for each kind of miscompare and for another error; the one-sector hex
// files of the first difference; the error raised with the position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/file_handle.h"
#include "script/error_policy.h"
#include "script/job_slot.h"
#include "tests/test_support.h"
#include "ui/job_log.h"
#include "workload/compare_report.h"

namespace tb {
namespace {

constexpr uint32_t kSector = 512;

class CompareReport : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::fresh_slot();
        report.base_path = folder + "/R0000000007";
    }

    // The texts of the job log from the first line that starts with `from`.
    std::vector<std::string> texts_from(const std::string& from) const {
        std::vector<std::string> out;
        bool on = false;
        for (const LogLine& l : job_log_lines(0)) {
            on = on || l.text.rfind(from, 0) == 0;
            if (on) out.push_back(l.kind == LineKind::HexFile ? "<hex " + l.value + ">" : l.text);
        }
        return out;
    }
    static std::string file(const std::string& path) {
        std::string s;
        EXPECT_TRUE(read_file_bytes(path, s)) << path;
        return s;
    }
    // Four sectors, each byte its sector number + `base`.
    static std::vector<uint8_t> sectors(uint8_t base) {
        std::vector<uint8_t> v(4 * kSector);
        for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(base + i / kSector);
        return v;
    }

    std::string folder;
    MiscompareReport report;
};

TEST_F(CompareReport, ACleanRunEndsWithResultZeroAndRaisesNothing) {
    report.cycle = 3;
    report.percent = 100;
    finish_compare(0, report, 0x1234);
    EXPECT_EQ(texts_from("Last Cycle"), (std::vector<std::string>{
                                            "Last Cycle Data, Cycle3, Process:100%",
                                            "Compare Result : Compare Finish. No error exist. | 0",
                                        }));
    EXPECT_EQ(job_slot(0)->error_code, 0);
}

TEST_F(CompareReport, AnotherErrorEndsWith255ThenThePositionAndTheError) {
    report.result = kErrReadIO;
    report.percent = 42;
    finish_compare(0, report, 0x100000002ull);
    const std::vector<std::string> t = texts_from("Last Cycle");
    ASSERT_GE(t.size(), 3u);
    EXPECT_EQ(t[0], "Last Cycle Data, Cycle1, Process:42%");
    EXPECT_EQ(t[1], "Compare Result : Other Error. | 255");
    EXPECT_EQ(t[2], "CurrentLBA: 0x0000000100000002");
    EXPECT_EQ(job_slot(0)->error_code, kErrReadIO);
    EXPECT_NE(job_slot(0)->error_text.find("CurrentLBA: 0x0000000100000002"), std::string::npos);
}

TEST_F(CompareReport, AMiscompareThatStaysGivesMinus71TheHexFilesAndTheGoldenLines) {
    const std::vector<uint8_t> expected = sectors(0x10);
    std::vector<uint8_t> read1 = expected, read2 = expected;
    read1[2 * kSector + 7] ^= 0xFF;  // sector 2 differs in the first read...
    read2[3 * kSector] ^= 0x01;      // ...and sector 3 in the second
    ASSERT_TRUE(record_first_read(report, 0x800, expected.size(), kSector, expected, read1));
    EXPECT_EQ(report.first_wrong_lba, 0x802u);
    ASSERT_TRUE(record_second_read(report, kSector, expected, read2));
    EXPECT_EQ(report.result, kErrMiscompareTwice);
    // The files hold the sector of the first difference of the first read.
    EXPECT_EQ(file(report.base_path + "_Pattern.Hex"), std::string(kSector, '\x12'));
    std::string wrong(kSector, '\x12');
    wrong[7] = static_cast<char>(0x12 ^ 0xFF);
    EXPECT_EQ(file(report.base_path + "_Read1.Hex"), wrong);
    EXPECT_EQ(file(report.base_path + "_Read2.Hex"), std::string(kSector, '\x12'));

    report.percent = 50;
    finish_compare(0, report, 0x802);
    const std::string b = report.base_path;
    std::vector<std::string> t = texts_from("Last Cycle");
    ASSERT_GE(t.size(), 13u);
    t.resize(13);  // the error policy's own lines follow
    EXPECT_EQ(t,
              (std::vector<std::string>{
                  "Last Cycle Data, Cycle1, Process:50%",
                  "Miscompare",
                  "Error Type   : 1st Read is Miscompare, 2nd Read is still MisCompare!",
                  "Error Action : LBA:0x800 , AccessSize:0x800",
                  "Error LBA    : 0x802",  // a console run's log drops the trailing blank
                  "Pattern Data",
                  "<hex " + b + "_Pattern.Hex>",
                  "1st Read Data",
                  "<hex " + b + "_Read1.Hex>",
                  "2nd Read Data",
                  "<hex " + b + "_Read2.Hex>",
                  "Compare Result : 1st Read is Miscompare, 2nd Read is still Miscompare! | 2",
                  "CurrentLBA: 0x0000000000000802",
              }));
    EXPECT_EQ(job_slot(0)->error_code, kErrMiscompareTwice);
    // The banner is large and red.
    for (const LogLine& l : job_log_lines(0))
        if (l.text == "Miscompare") {
            EXPECT_GT(l.font_size, 10);
            EXPECT_EQ(l.colour, colour::kRed);
        }
}

TEST_F(CompareReport, ASecondReadThatMatchesGivesMinus70) {
    const std::vector<uint8_t> expected = sectors(0x40);
    std::vector<uint8_t> read1 = expected;
    read1[0] = 0;
    ASSERT_TRUE(record_first_read(report, 7, expected.size(), kSector, expected, read1));
    EXPECT_EQ(report.first_wrong_lba, 7u);
    ASSERT_TRUE(record_second_read(report, kSector, expected, expected));
    EXPECT_EQ(report.result, kErrMiscompareThenCorrect);
    finish_compare(0, report, 7);
    const std::vector<std::string> t = texts_from("Last Cycle");
    ASSERT_GE(t.size(), 12u);
    EXPECT_EQ(t[2], "Error Type   : 1st Read is Miscompare, 2nd Read is Correct!");
    EXPECT_EQ(t[11], "Compare Result : 1st Read is Miscompare, 2nd Read is Correct! | 1");
    EXPECT_EQ(job_slot(0)->error_code, kErrMiscompareThenCorrect);
}

TEST_F(CompareReport, AFailedSecondReadIsStillAMiscompareWithAZeroSectorFile) {
    const std::vector<uint8_t> expected = sectors(1);
    std::vector<uint8_t> read1 = expected;
    read1[kSector] = 0;
    ASSERT_TRUE(record_first_read(report, 0, expected.size(), kSector, expected, read1));
    ASSERT_TRUE(record_second_read(report, kSector, expected, {}));
    EXPECT_EQ(report.result, kErrMiscompareTwice);
    EXPECT_EQ(file(report.base_path + "_Read2.Hex"), std::string(kSector, '\0'));
}

TEST_F(CompareReport, EqualBuffersAreNoMiscompare) {
    const std::vector<uint8_t> expected = sectors(9);
    EXPECT_FALSE(first_different_sector(expected, expected, kSector));
    EXPECT_FALSE(record_first_read(report, 0, expected.size(), kSector, expected, expected));
}

}  // namespace
}  // namespace tb
