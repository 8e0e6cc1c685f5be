// SafeRemoveNVMe through the real binary on a simulated bench of three NVMe
// disks. Numbered by place (as Linux numbers disks), the disk after the
// removed one takes its number and its path opens: the command must still
// remove the target alone and leave the other disks on the system as they
// were. With fixed numbers the same holds.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

using tb::test::printed_values;
using tb::test::ProcessResult;

const std::string kThreeDisks =
    "[disk1]\ntype = nvme\ncapacity = 1GiB\nmodel = BENCH NVME ALPHA\nserial = SERIALALPHA000000001\n"
    "[disk2]\ntype = nvme\ncapacity = 1GiB\nmodel = BENCH NVME BRAVO\nserial = SERIALBRAVO000000002\n"
    "[disk3]\ntype = nvme\ncapacity = 1GiB\nmodel = BENCH NVME CHARLIE\nserial = SERIALCHARLIE0000003\n";

const std::string kRemoveLine = "Remove Disk & Parent Controller Driver";

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string change_disk(int number) {
    return "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE" + std::to_string(number) + "\" );\n";
}

// Lines Identify prints.
std::string serial_line(const std::string& serial) { return "Serial Number              : " + serial; }
std::string model_line(const std::string& model) { return "Model Number               : " + model; }

class SafeRemoveE2E : public ::testing::Test {
protected:
    ProcessResult run(const std::string& numbering, const std::string& script) const {
        machine_.write_machine("[machine]\npersist = 0\nnumbering = " + numbering + "\n" + kThreeDisks);
        return tb::test::run_sim_script(machine_.dir(), script);
    }

    // Identify on `number`, preceded by a marker that names the place.
    static std::string identify_at(int number, const std::string& marker) {
        return change_disk(number) + "Print( Output:\"" + marker + "\" );\nIdentify();\n";
    }

    // The text between `marker` and the next marker line (or the end).
    static std::string section(const std::string& output, const std::string& marker) {
        size_t from = output.find(marker);
        if (from == std::string::npos) return {};
        size_t to = output.find("@@", from + marker.size());
        return output.substr(from, to == std::string::npos ? std::string::npos : to - from);
    }

    // The "label : value" lines of an Identify section, but the one naming
    // the disk's path (the number it has now).
    static std::vector<std::string> identity_lines(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (line.find(" : ") == std::string::npos || line.find("PhysicalDrive ") != std::string::npos) continue;
            out.push_back(line);
        }
        return out;
    }

    tb::test::SimMachineFolder machine_{"tamblor-safe-remove-e2e", "[machine]\n"};
};

TEST_F(SafeRemoveE2E, RemovingTheFirstOfDisksNumberedByPlaceLeavesTheOthersAsTheyWere) {
    auto r = run("place", identify_at(1, "@@BEFORE1") + identify_at(2, "@@BEFORE2") + change_disk(0) +
                              "SafeRemoveNVMe();\n"
                              "Print( Output:\"@@LIST\" );\n"
                              "DiskList();\n" +
                              identify_at(0, "@@AFTER0") + identify_at(1, "@@AFTER1") +
                              "Print( Output:\"@@END DONE=1\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(printed_values(r.output)["DONE"], 1) << r.output;
    const std::string listed = section(r.output, "@@LIST");
    EXPECT_EQ(listed.find("BENCH NVME ALPHA"), std::string::npos) << r.output;
    EXPECT_NE(listed.find("BENCH NVME BRAVO"), std::string::npos) << r.output;
    EXPECT_NE(listed.find("BENCH NVME CHARLIE"), std::string::npos) << r.output;
    EXPECT_EQ(count_of(r.output, kRemoveLine), 1u) << r.output;
    EXPECT_NE(r.output.find("You can safely remove the device"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("After replug device, find new device by command: ReScanDriver();"), std::string::npos)
        << r.output;

    // The two other disks moved up one place and answer exactly as before.
    const std::string before_bravo = section(r.output, "@@BEFORE1");
    const std::string before_charlie = section(r.output, "@@BEFORE2");
    const std::string after_bravo = section(r.output, "@@AFTER0");
    const std::string after_charlie = section(r.output, "@@AFTER1");
    EXPECT_NE(before_bravo.find(serial_line("SERIALBRAVO000000002")), std::string::npos) << r.output;
    EXPECT_NE(before_charlie.find(serial_line("SERIALCHARLIE0000003")), std::string::npos) << r.output;
    EXPECT_NE(after_bravo.find(serial_line("SERIALBRAVO000000002")), std::string::npos) << r.output;
    EXPECT_NE(after_bravo.find(model_line("BENCH NVME BRAVO")), std::string::npos) << r.output;
    EXPECT_NE(after_charlie.find(serial_line("SERIALCHARLIE0000003")), std::string::npos) << r.output;
    EXPECT_NE(after_charlie.find(model_line("BENCH NVME CHARLIE")), std::string::npos) << r.output;
    EXPECT_GT(identity_lines(before_bravo).size(), 10u) << r.output;
    EXPECT_EQ(identity_lines(after_bravo), identity_lines(before_bravo)) << r.output;
    EXPECT_EQ(identity_lines(after_charlie), identity_lines(before_charlie)) << r.output;
    EXPECT_EQ(r.output.find(serial_line("SERIALALPHA000000001")), std::string::npos) << r.output;
}

TEST_F(SafeRemoveE2E, RemovingAMiddleDiskNumberedByPlaceLeavesTheFirstAndTheLast) {
    auto r = run("place", change_disk(1) + "SafeRemoveNVMe();\nDiskList();\n" + identify_at(0, "@@AFTER0") +
                              identify_at(1, "@@AFTER1") +
                              change_disk(2) + "Print( Output:\"@@END NOT_REACHED=1\" );\n");
    // Two disks are left, numbered 0 and 1: there is no third one to choose.
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-1)) << r.output;
    EXPECT_NE(r.output.find("Cannot find \\\\.\\PHYSICALDRIVE2"), std::string::npos) << r.output;
    EXPECT_EQ(printed_values(r.output).count("NOT_REACHED"), 0u) << r.output;
    EXPECT_EQ(count_of(r.output, kRemoveLine), 1u) << r.output;
    EXPECT_NE(section(r.output, "@@AFTER0").find(serial_line("SERIALALPHA000000001")), std::string::npos)
        << r.output;
    EXPECT_NE(section(r.output, "@@AFTER1").find(serial_line("SERIALCHARLIE0000003")), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find(serial_line("SERIALBRAVO000000002")), std::string::npos) << r.output;
}

TEST_F(SafeRemoveE2E, WithFixedNumbersTheOtherDisksKeepTheirNumbers) {
    auto r = run("fixed", change_disk(1) + "SafeRemoveNVMe();\n" + identify_at(2, "@@AFTER2") +
                              identify_at(3, "@@AFTER3") + "Print( Output:\"@@END DONE=1\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(printed_values(r.output)["DONE"], 1) << r.output;
    EXPECT_EQ(count_of(r.output, kRemoveLine), 1u) << r.output;
    EXPECT_NE(section(r.output, "@@AFTER2").find(serial_line("SERIALBRAVO000000002")), std::string::npos)
        << r.output;
    EXPECT_NE(section(r.output, "@@AFTER3").find(serial_line("SERIALCHARLIE0000003")), std::string::npos)
        << r.output;
}

TEST_F(SafeRemoveE2E, TheRemovedDiskComesBackWithARescanAndTheOthersFollowIt) {
    auto r = run("place", change_disk(0) +
                              "SafeRemoveNVMe();\n"
                              "found = ReScanDriver();\n"
                              "Print( Output:\"FOUND=\" + found );\n" +
                              identify_at(0, "@@AFTER0") + identify_at(1, "@@AFTER1") + identify_at(2, "@@AFTER2") +
                              "Print( Output:\"@@END DONE=1\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(printed_values(r.output)["FOUND"], 1) << r.output;
    EXPECT_EQ(count_of(r.output, kRemoveLine), 1u) << r.output;
    EXPECT_NE(section(r.output, "@@AFTER0").find(serial_line("SERIALALPHA000000001")), std::string::npos)
        << r.output;
    EXPECT_NE(section(r.output, "@@AFTER1").find(serial_line("SERIALBRAVO000000002")), std::string::npos)
        << r.output;
    EXPECT_NE(section(r.output, "@@AFTER2").find(serial_line("SERIALCHARLIE0000003")), std::string::npos)
        << r.output;
}

}  // namespace
