// What the end-to-end tests share: temporary folders, reading files back,
// the log folder a run names, scripts with CR LF line ends, and a folder with
// a simulated machine file of the test's own.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tb::test {

// A fresh folder /tmp/<stem>-XXXXXX.
inline std::string make_temp_dir(const std::string& stem) {
    std::string tmpl = "/tmp/" + stem + "-XXXXXX";
    return ::mkdtemp(tmpl.data());
}

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
    SimMachineFolder(const std::string& stem, const std::string& machine) : dir_(make_temp_dir(stem)) {
        std::string text = machine;
        text.insert(std::string("[machine]\n").size(), "folder = " + (dir_ / "sim").string() + "\n");
        std::ofstream(dir_ / "machine.ini", std::ios::binary) << text;
    }
    ~SimMachineFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    SimMachineFolder(const SimMachineFolder&) = delete;
    SimMachineFolder& operator=(const SimMachineFolder&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path machine_file() const { return dir_ / "machine.ini"; }

private:
    std::filesystem::path dir_;
};

}  // namespace tb::test
