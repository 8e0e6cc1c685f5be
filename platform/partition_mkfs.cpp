#include "platform/partition_mkfs.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/text.h"
#include "platform/child_process.h"
#include "platform/host/random_bytes.h"
#include "platform/host/temp_folder.h"

namespace tb {

namespace {

std::vector<std::string> search_folders() {
    std::vector<std::string> out;
    const char sep = std::filesystem::path::preferred_separator == '\\' ? ';' : ':';
    if (const char* path = std::getenv("PATH")) {
        std::string_view rest(path);
        while (!rest.empty()) {
            const size_t end = rest.find(sep);
            if (end != 0) out.emplace_back(rest.substr(0, end));
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
        }
    }
    out.emplace_back("/usr/sbin");
    out.emplace_back("/sbin");
    return out;
}

// The last non-empty line a program printed.
std::string last_line(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line, last;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) last = line;
    }
    return last;
}

std::filesystem::path output_file_name() {
    uint32_t tag = 0;
    host::random_bytes(&tag, sizeof tag);
    return host::temp_folder() / ("tamblor-mkfs-" + std::to_string(tag) + ".txt");
}

}  // namespace

std::string mkfs_program(std::string_view file_system) {
    const std::string fs = to_upper(file_system);
    if (fs == "NTFS") return "mkfs.ntfs";
    if (fs == "EXT4") return "mkfs.ext4";
    if (fs == "EXT3") return "mkfs.ext3";
    if (fs == "EXT2") return "mkfs.ext2";
    if (fs == "FAT32") return "mkfs.vfat";
    if (fs == "EXFAT") return "mkfs.exfat";
    return {};
}

std::string find_program(std::string_view program) {
    if (program.empty()) return {};
    for (const std::string& folder : search_folders()) {
        std::error_code ec;
        const std::filesystem::path candidate = std::filesystem::path(folder) / std::string(program);
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
    }
    return {};
}

std::vector<std::string> installed_file_systems() {
    std::vector<std::string> out;
    const bool ntfs = !find_program(mkfs_program("NTFS")).empty();
    if (ntfs) out.emplace_back("NTFS");
    for (const char* fs : {"EXT4", "EXT3", "EXT2", "FAT32", "EXFAT"})
        if (!find_program(mkfs_program(fs)).empty()) out.emplace_back(fs);
    return out;
}

std::vector<std::string> mkfs_command(std::string_view file_system, const std::string& target,
                                      const std::string& label, uint64_t start_sector) {
    const std::string fs = to_upper(file_system);
    const std::string program = find_program(mkfs_program(fs));
    if (program.empty()) return {};
    std::vector<std::string> argv{program};
    if (fs == "NTFS") {
        // Quick (no zeroing, no bad-sector scan), forced onto a file or a
        // partition node, with the partition's place for its boot sector.
        argv.insert(argv.end(), {"-Q", "-F", "-p", std::to_string(start_sector)});
        if (!label.empty()) argv.insert(argv.end(), {"-L", label});
    } else if (fs.starts_with("EXT")) {
        argv.insert(argv.end(), {"-F", "-q"});
        if (!label.empty()) argv.insert(argv.end(), {"-L", label});
    } else if (fs == "FAT32") {
        argv.insert(argv.end(), {"-F", "32"});
        if (!label.empty()) argv.insert(argv.end(), {"-n", label});
    } else if (fs == "EXFAT") {
        if (!label.empty()) argv.insert(argv.end(), {"-n", label});
    }
    argv.push_back(target);
    return argv;
}

bool run_mkfs(const std::vector<std::string>& argv, std::string& error, int timeout_s) {
    if (argv.empty()) {
        error = "No formatting program";
        return false;
    }
    const std::filesystem::path output = output_file_name();
    ChildOptions options;
    options.output_file = output.string();
    options.no_input = true;
    options.end_with_parent = true;
    ChildProcess child;
    if (!child.start(argv, options)) {
        error = "Cannot start " + argv[0];
        return false;
    }
    bool ended = false;
    for (int waited = 0; !ended && waited < timeout_s * 10; ++waited) ended = child.wait_for(100);
    if (!ended) child.end();
    const std::string said = last_line(output);
    std::error_code ec;
    std::filesystem::remove(output, ec);
    if (ended && child.exit_code() == 0) return true;
    error = std::filesystem::path(argv[0]).filename().string() +
            (ended ? " failed (exit code " + std::to_string(child.exit_code()) + ")" : " did not finish in time") +
            (said.empty() ? std::string() : ": " + said);
    return false;
}

}  // namespace tb
