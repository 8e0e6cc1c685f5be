// The fixture of the compare commands' end-to-end tests: the real binary on a
// simulated machine of the test's own, with a system disk (disk 0, not RAW)
// and an NVMe disk in RAW mode (disk 1) whose section takes the test's faults.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace tb::test {

inline std::string raw_nvme_machine(const std::filesystem::path& folder, const std::string& faults) {
    return "[machine]\nfolder = " + folder.string() +
           "\npersist = 0\n"
           "[disk0]\ntype = sata\nmodel = COMPARE E2E SYSTEM\nserial = CES0\ncapacity = 8GB\nvolumes = C\n"
           "[disk1]\ntype = nvme\nmodel = COMPARE E2E NVME\nserial = CEN1\ncapacity = 2GB\npci = 3:0.0\n" +
           faults + "\n";
}

inline const std::string kChangeToDisk1 = "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n";

class CompareE2E : public ::testing::Test {
protected:
    explicit CompareE2E(const std::string& stem) : folder_(stem) {}

    // Runs `script` with `faults` in disk 1's section of the machine file.
    ShellResult run(const std::string& script, const std::string& faults = "") {
        std::ofstream(dir_ / "machine.ini", std::ios::binary) << raw_nvme_machine(dir_ / "sim", faults);
        return run_sim_script(dir_, script);
    }
    // Whether the job log printed `line` as a line of its own.
    static bool has_line(const std::string& output, const std::string& line) {
        return output.find("        " + line + "\n") != std::string::npos;
    }

    TempFolder folder_;
    const std::filesystem::path& dir_ = folder_.dir();
};

}  // namespace tb::test
