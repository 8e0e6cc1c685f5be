// A real file system of this machine for the Linux-only tests: an image file
// with a GPT partition, attached as a loop device, the partition formatted
// ext4 and mounted in a temporary folder. Everything is undone when the
// volume goes. Needs root, util-linux and e2fsprogs.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/shell_run.h"
#include "tests/temp_dir.h"

namespace tb::test {

// Skips the test for want of what `missing` names; under CI=true, where all
// of it must be there, fails it instead.
inline void skip_or_fail_for(const std::string& missing) {
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true") FAIL() << missing;
    GTEST_SKIP() << missing;
}

inline std::string shell_quoted_path(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

struct LoopVolumeSetup {
    std::string folder_prefix = "tamblor-loop";  // of the temporary folder
    std::string table = "label: gpt\\n,\\n";     // sfdisk's input, as printf writes it
    std::vector<std::string> more_tools;         // needed besides the loop, table and ext4 ones
};

class MountedLoopVolume {
  public:
    MountedLoopVolume() = default;
    MountedLoopVolume(const MountedLoopVolume&) = delete;
    MountedLoopVolume& operator=(const MountedLoopVolume&) = delete;
    ~MountedLoopVolume() {
        if (is_mounted_) run_shell("umount " + shell_quoted_path(mount_));
        if (!device_.empty()) run_shell("losetup -d " + device_);
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }

    // Empty when all is ready, else why not.
    std::string set_up(const LoopVolumeSetup& setup = {}) {
        if (::geteuid() != 0) return "loop devices and mounts need root";
        std::vector<std::string> tools{"losetup", "sfdisk", "partx", "mkfs.ext4", "mount", "umount"};
        tools.insert(tools.end(), setup.more_tools.begin(), setup.more_tools.end());
        for (const std::string& tool : tools)
            if (run_shell("command -v " + tool).exit_code != 0) return tool + " not installed";
        dir_ = make_temp_dir(setup.folder_prefix);
        const std::filesystem::path image = std::filesystem::path(dir_) / "disk.img";
        if (run_shell("truncate -s 64M " + shell_quoted_path(image)).exit_code != 0) return "no image file";
        ShellResult table = run_shell("printf '" + setup.table + "' | sfdisk -q " + shell_quoted_path(image));
        if (table.exit_code != 0) return "sfdisk: " + table.output;
        ShellResult attach = run_shell("losetup -fP --show " + shell_quoted_path(image));
        if (attach.exit_code != 0) return "cannot attach a loop device: " + attach.output;
        device_ = attach.output.substr(0, attach.output.find('\n'));
        partition_ = device_ + "p1";
        if (!wait_for_partition()) return "no partition node " + partition_;
        ShellResult mkfs = run_shell("mkfs.ext4 -q -F " + partition_);
        if (mkfs.exit_code != 0) return "mkfs.ext4: " + mkfs.output;
        mount_ = std::filesystem::path(dir_) / "mnt";
        std::filesystem::create_directories(mount_);
        ShellResult mounted = run_shell("mount " + partition_ + " " + shell_quoted_path(mount_));
        if (mounted.exit_code != 0) return "mount: " + mounted.output;
        is_mounted_ = true;
        return {};
    }

    const std::filesystem::path& mount() const { return mount_; }
    const std::string& device() const { return device_; }
    const std::string& partition() const { return partition_; }
    std::filesystem::path folder() const { return dir_; }

    // The program's name of the loop device's drive, from its own listing.
    std::string drive() const {
        ShellResult list = run_shell(std::string(TAMBLOR_BINARY) + " --linux --list");
        std::smatch m;
        const std::regex line("(PHYSICALDRIVE[0-9]+)[^\\n]*\\(" + device_ + "\\)");
        if (!std::regex_search(list.output, m, line)) return {};
        return "\\\\.\\" + m[1].str();
    }

    // Runs `script` against the loop device's drive on this machine's disks.
    ShellResult run_script(const std::string& script) const {
        const std::filesystem::path file = folder() / "t.scpt";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << script;
        const std::string target = drive();
        EXPECT_FALSE(target.empty()) << device_ << " is not in the program's disk list";
        return run_shell("cd " + shell_quoted_path(folder()) + " && TMPDIR=" + shell_quoted_path(folder()) + " " +
                         TAMBLOR_BINARY + " --linux SCRIPT:t.scpt '" + target + "' </dev/null");
    }

  private:
    // The kernel makes the partition's node when it scans the table; where it
    // does not scan loop devices by itself, partx adds the partition.
    bool wait_for_partition() const {
        for (int i = 0; i < 20; ++i) {
            struct stat st {};
            if (::stat(partition_.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return true;
            if (i == 5) run_shell("partx -a " + device_);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    std::string dir_;
    std::string device_;
    std::string partition_;
    std::filesystem::path mount_;
    bool is_mounted_ = false;
};

}  // namespace tb::test
