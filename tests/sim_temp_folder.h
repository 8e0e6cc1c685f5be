// Fresh folders for the simulated machine's tests in the system's temporary
// folder ($TMPDIR or /tmp on Linux, the user's Temp folder on Windows).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/host/random_bytes.h"
#include "platform/host/temp_folder.h"
#include "platform/sim/host_path.h"

namespace tb::sim::test {

// A fresh folder <temporary folder>/<stem>-<16 hex digits>, made by this
// call and open to its owner only (a machine may use it as its own folder).
inline std::string fresh_sim_folder(const std::string& stem) {
    for (;;) {
        unsigned long long tag = 0;
        host::random_bytes(&tag, sizeof tag);
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", tag);
        const std::filesystem::path dir = host::temp_folder() / (stem + "-" + suffix);
        std::error_code ec;
        if (std::filesystem::create_directory(dir, ec)) {
            std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
            return utf8_text(dir);
        }
        if (ec) throw std::filesystem::filesystem_error("cannot make a temporary folder", dir, ec);
    }
}

}  // namespace tb::sim::test
