// Shared set-up of the report tests: a simulated machine with an NVMe disk
// and a SATA disk (optionally with the pattern images), made the current
// disk platform, slot 0 fresh, and helpers to read what a command printed and
// to compare it with a reviewed expected file under tests/golden/.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "disk/disk_discovery.h"
#include "disk/disk_record.h"
#include "disk/target_select.h"
#include "platform/disk_device.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/job_slot.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

namespace tb::report_test {

constexpr uint32_t kNvmeDisk = 1;
constexpr uint32_t kSataDisk = 2;

class ReportBench {
  public:
    explicit ReportBench(bool pattern) {
        folder_ = test::fresh_slot();
        app().run_style = kStyleWindow;  // lines as stored, not trimmed for the console
        sim_folder_ = folder_ + "/sim";
        const std::string flag = pattern ? "pattern_images = 1\n" : "";
        const std::string text = "[machine]\nfolder = " + sim_folder_ +
                                 "\npersist = 0\n"
                                 "[disk0]\ntype = sata\nmodel = SYSTEM DISK\ncapacity = 2GB\nvolumes = C\n"
                                 "[disk1]\ntype = nvme\nmodel = REPORT NVME\nserial = RPTN0001\nfirmware = RN1.0\n"
                                 "capacity = 1GiB\npci = 3:0.0\n" +
                                 flag +
                                 "[disk2]\ntype = sata\nmodel = REPORT SATA\nserial = RPTS0002\nfirmware = RS1.0\n"
                                 "capacity = 1GiB\n" +
                                 flag;
        std::string error;
        auto cfg = sim::parse_sim_config(text, &error);
        if (!cfg) {
            ADD_FAILURE() << error;
            return;
        }
        auto platform = sim::make_sim_platform_from_config(*cfg, &error);
        if (!platform) {
            ADD_FAILURE() << error;
            return;
        }
        machine_ = &platform->machine();
        set_disk_platform(std::move(platform));
        discover_disks();
    }
    ~ReportBench() {
        set_disk_platform(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(sim_folder_, ec);
    }

    // Makes disk `n` the current target.
    void target(uint32_t n) {
        ASSERT_TRUE(select_target("\\\\.\\PHYSICALDRIVE" + std::to_string(n)));
    }
    sim::SimMachine& machine() { return *machine_; }
    const std::string& folder() const { return folder_; }

  private:
    std::string folder_, sim_folder_;
    sim::SimMachine* machine_ = nullptr;
};

// The lines the newest command wrote: after its header, without the
// elapsed-time lines the interpreter adds.
inline std::vector<LogLine> last_command_lines() {
    std::vector<LogLine> all = job_log_lines(0);
    size_t start = 0;
    for (size_t i = 0; i < all.size(); ++i)
        if (!all[i].text.empty() && all[i].text[0] == '<') start = i + 1;
    std::vector<LogLine> out;
    for (size_t i = start; i < all.size(); ++i)
        if (all[i].text.rfind("Elapsed Time", 0) != 0) out.push_back(all[i]);
    return out;
}

inline std::vector<std::string> texts(const std::vector<LogLine>& lines) {
    std::vector<std::string> out;
    for (const LogLine& l : lines) out.push_back(l.text);
    return out;
}

// A line as the expected files hold it: a colour letter (W white, Y yellow,
// C cyan, G grey, O olive, R red, ? other), a blank, and the text.
inline std::string golden_form(const LogLine& l) {
    char c = '?';
    switch (l.colour) {
        case colour::kWhite: c = 'W'; break;
        case colour::kYellow: c = 'Y'; break;
        case colour::kCyan: c = 'C'; break;
        case colour::kGrey: c = 'G'; break;
        case colour::kOlive: c = 'O'; break;
        case colour::kRed: c = 'R'; break;
        default: break;
    }
    return std::string(1, c) + " " + l.text;
}

inline std::string golden_path(const std::string& name) { return TAMBLOR_SOURCE_DIR "/tests/golden/" + name; }

// Compares the lines with the expected file line by line. With
// TAMBLOR_UPDATE_GOLDEN=1 in the environment the file is written instead
// (for review before it is committed).
inline void expect_golden(const std::vector<LogLine>& lines, const std::string& name) {
    std::vector<std::string> got;
    for (const LogLine& l : lines) got.push_back(golden_form(l));
    const std::string path = golden_path(name);
    if (const char* update = std::getenv("TAMBLOR_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream out(path, std::ios::binary);
        for (const std::string& g : got) out << g << "\n";
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing expected file " << path;
    std::vector<std::string> want;
    for (std::string line; std::getline(in, line);) want.push_back(line);
    const size_t n = std::min(got.size(), want.size());
    int shown = 0;
    for (size_t i = 0; i < n && shown < 10; ++i) {
        if (got[i] != want[i]) {
            ADD_FAILURE() << name << " line " << i + 1 << "\n  want: " << want[i] << "\n  got:  " << got[i];
            ++shown;
        }
    }
    EXPECT_EQ(got.size(), want.size()) << name << ": line count";
}

}  // namespace tb::report_test
