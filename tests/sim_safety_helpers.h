// Shared pieces of the simulated machine's file-safety tests: a precious
// file that must survive, and a machine of one disk built in a folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "platform/sim/host_path.h"
#include "platform/sim/sim_platform.h"
#include "tests/temp_dir.h"

namespace tb::sim::test {

namespace fs = std::filesystem;

// A private scratch folder, in the temporary folder unless `parent` is
// given, removed with its contents at the end.
class Scratch {
  public:
    explicit Scratch(const fs::path& parent = {})
        : dir_(host_path(tb::test::make_temp_dir("tamblor-simsafe", parent))) {}
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const fs::path& dir() const { return dir_; }
    fs::path operator/(const std::string& name) const { return dir_ / name; }

  private:
    fs::path dir_;
};

inline constexpr char kPrecious[] = "precious data of root\n";
inline constexpr char kOneDisk[] = "[disk1]\ntype = nvme\ncapacity = 64MiB\n";

inline std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Whether a file still holds exactly the precious text (its size is looked at
// first, so a file grown to gigabytes is not read).
inline bool kept(const fs::path& p) {
    std::error_code ec;
    return fs::file_size(p, ec) == sizeof(kPrecious) - 1 && !ec && read_all(p) == kPrecious;
}

inline void write_all(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::unique_ptr<SimPlatform> build(const fs::path& folder, const std::string& disks, std::string* error) {
    auto cfg = parse_sim_config("[machine]\nfolder = " + utf8_path(folder) + "\npersist = 0\n" + disks, error);
    if (!cfg) return nullptr;
    return make_sim_platform_from_config(*cfg, error);
}

}  // namespace tb::sim::test
