// The system's mkfs programs: which one makes a file system, where it is,
// and the command line that formats a device or an image file with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// The program's file name for a file system ("NTFS" -> "mkfs.ntfs"); empty
// for a file system it has no program for.
std::string mkfs_program(std::string_view file_system);

// The full path of `program` in the folders of PATH and the system's admin
// folders (/usr/sbin, /sbin); empty when it is nowhere.
std::string find_program(std::string_view program);

// The file systems whose program is installed, upper case: NTFS first when
// mkfs.ntfs is there, else EXT4 first.
std::vector<std::string> installed_file_systems();

// argv for formatting `target` (a device or an image file, whole) quietly
// and without questions. `start_sector` is where the partition starts on
// its disk (NTFS records it in its boot sector). Empty when the file
// system's program is not installed.
std::vector<std::string> mkfs_command(std::string_view file_system, const std::string& target,
                                      const std::string& label, uint64_t start_sector);

}  // namespace tb

namespace tb {

// Runs a formatting command line to its end (at most `timeout_s` seconds).
// False with the program's last output line (or why it did not run) in
// `error`.
bool run_mkfs(const std::vector<std::string>& argv, std::string& error, int timeout_s = 600);

}  // namespace tb
