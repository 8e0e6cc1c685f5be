// What the end-to-end tests share: temporary folders, reading files back,
// the log folder a run names, scripts with CR LF line ends, a folder with
// a simulated machine file of the test's own, running a script on it and
// the "NAME=number" values a script printed.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/process_runner.h"
#include "tests/temp_dir.h"

namespace tb::test {

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The folder of the "##### SCRIPT LOG <folder>" line of a run's output.
inline std::string log_folder_of(const std::string& output) {
    const std::string marker = "##### SCRIPT LOG ";
    size_t p = output.find(marker);
    if (p == std::string::npos) return {};
    size_t e = output.find('\n', p);
    return output.substr(p + marker.size(), e - p - marker.size());
}

// The files of `folder` whose names end with `suffix`, in name order.
inline std::vector<std::filesystem::path> files_ending(const std::filesystem::path& folder,
                                                       const std::string& suffix) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The "NAME=number" values a script printed (NAME of capitals, digits and
// underscores); a later value of a name replaces an earlier one.
inline std::map<std::string, long long> printed_values(const std::string& output) {
    std::map<std::string, long long> out;
    const std::regex item("([A-Z0-9_]+)=(-?[0-9]+)");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), item); it != std::sregex_iterator(); ++it)
        out[(*it)[1]] = std::stoll((*it)[2]);
    return out;
}

// The variables that make a program's temporary folder `dir`: TMPDIR on
// Linux, TMP and TEMP on Windows.
inline std::map<std::string, std::string> temp_environment(const std::filesystem::path& dir) {
    return {{"TMPDIR", dir.string()}, {"TMP", dir.string()}, {"TEMP", dir.string()}};
}

// The variables that give a run a settings store of the test's own: a file
// in `dir` on Linux, a registry key of the user named after `dir` (a folder
// of its own, so no earlier run's key) on Windows.
inline std::map<std::string, std::string> settings_store_environment(const std::filesystem::path& dir) {
    return {{"TAMBLOR_SETTINGS_FILE", (dir / "settings.ini").string()},
            {"TAMBLOR_SETTINGS_KEY", "Software\\tamblor-tests\\" + dir.filename().string()}};
}

// Runs the real binary with `args` from `dir`, with `dir` as its temporary
// folder and `more_environment` laid over the test's environment.
inline ProcessResult run_tamblor(const std::filesystem::path& dir, const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& more_environment = {}) {
    ProcessSpec spec;
    spec.program = TAMBLOR_BINARY;
    spec.args = args;
    spec.environment = temp_environment(dir);
    for (const auto& [name, value] : more_environment) spec.environment[name] = value;
    spec.working_folder = dir;
    return run_process(spec);
}

// A program's file name on this system: `stem` with the suffix of the
// built programs (".exe" on Windows).
inline std::string program_file_name(const std::string& stem) {
    return stem + std::filesystem::path(TAMBLOR_BINARY).extension().string();
}

// A file of the source tree.
inline std::filesystem::path source_file(const std::string& relative) {
    return std::filesystem::path(TAMBLOR_SOURCE_DIR) / relative;
}

// Writes `script` to <dir>/t.scpt and runs it through the real binary on
// the simulated machine <dir>/machine.ini, from <dir>, with <dir> as TMPDIR
// and <dir>/settings.ini as the settings file; `more` are further arguments.
inline ProcessResult run_sim_script(const std::filesystem::path& dir, const std::string& script,
                                    const std::vector<std::string>& more = {}) {
    std::ofstream(dir / "t.scpt", std::ios::binary | std::ios::trunc) << script;
    std::vector<std::string> args{"--sim=machine.ini", "SCRIPT:t.scpt"};
    args.insert(args.end(), more.begin(), more.end());
    return run_tamblor(dir, args, settings_store_environment(dir));
}

// Writes a script with CR LF line ends (a bare LF does not end a comment).
inline void write_crlf(const std::filesystem::path& path, const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    std::ofstream(path, std::ios::binary) << out;
}

// Work folders under <tmp>/TamblorLite holding anything but what outlives
// them: the job's log folder and the LBA map folders.
inline size_t leftover_work_folders(const std::filesystem::path& tmp) {
    namespace fs = std::filesystem;
    const fs::path base = tmp / "TamblorLite";
    if (!fs::exists(base)) return 0;
    size_t left = 0;
    for (const auto& work : fs::directory_iterator(base))
        for (const auto& entry : fs::directory_iterator(work.path()))
            if (entry.path().filename().string().rfind("Log_", 0) != 0 &&
                entry.path().filename().string().rfind("[LBAMap_", 0) != 0) {
                ++left;
                break;
            }
    return left;
}

// A temporary folder holding "machine.ini", a simulated machine whose
// backing files live in <folder>/sim; removed with the object.
class SimMachineFolder {
public:
    // `machine` starts with its "[machine]" line; the folder key is added.
    SimMachineFolder(const std::string& stem, const std::string& machine) : folder_(stem) { write_machine(machine); }

    // Replaces the machine file (as between two runs on the same disks).
    void write_machine(const std::string& machine) const {
        std::string text = machine;
        text.insert(std::string("[machine]\n").size(), "folder = " + (dir() / "sim").string() + "\n");
        std::ofstream(machine_file(), std::ios::binary | std::ios::trunc) << text;
    }

    const std::filesystem::path& dir() const { return folder_.dir(); }
    std::filesystem::path machine_file() const { return dir() / "machine.ini"; }

private:
    TempFolder folder_;
};

}  // namespace tb::test
