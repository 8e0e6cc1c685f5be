// Fresh temporary folders for the tests, under the system's temporary
// folder ($TMPDIR or /tmp on Linux, the user's Temp folder on Windows).
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "platform/host/temp_folder.h"

namespace tb::test {

// A fresh folder <parent>/<stem>-<16 hex digits>, made by this call and
// private to its owner; the parent is the system's temporary folder unless
// given.
inline std::string make_temp_dir(const std::string& stem, const std::filesystem::path& parent = {}) {
    thread_local std::mt19937_64 draw{std::random_device{}()};
    const std::filesystem::path base = parent.empty() ? tb::host::temp_folder() : parent;
    for (;;) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(draw()));
        const std::filesystem::path dir = base / (stem + "-" + suffix);
        std::error_code ec;
        if (std::filesystem::create_directory(dir, ec)) {
            // Private to its owner, as the simulated machine wants its folders.
            std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
            return dir.string();
        }
        if (ec) throw std::filesystem::filesystem_error("cannot make a temporary folder", dir, ec);
    }
}

// A fresh folder in memory where the system offers one to every user
// (/dev/shm on Linux), else in the temporary folder: for tests that save
// files durably many times over, which a disk makes slow.
inline std::string make_memory_temp_dir(const std::string& stem) {
#ifndef _WIN32
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) {
        try {
            return make_temp_dir(stem, "/dev/shm");
        } catch (const std::filesystem::filesystem_error&) {
            // not writable here: fall back to the temporary folder
        }
    }
#endif
    return make_temp_dir(stem);
}

// A fresh temporary folder, removed with everything in it along with the
// object.
class TempFolder {
public:
    explicit TempFolder(const std::string& stem) : dir_(make_temp_dir(stem)) {}
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace tb::test
