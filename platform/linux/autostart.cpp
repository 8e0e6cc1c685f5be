#include "platform/autostart.h"

#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/host/sync_file.h"
#include "platform/paths.h"

namespace tb {

namespace {

std::string autostart_folder() {
    if (const char* dir = std::getenv("TAMBLOR_AUTOSTART_DIR"); dir && *dir) return dir;
    if (::geteuid() == 0) return "/var/lib/tamblor/autostart";
    const char* home = std::getenv("HOME");
    return path_join(home && *home ? home : "/tmp", ".config/tamblor/autostart");
}

std::string value_path(std::string_view name) { return path_join(autostart_folder(), std::string(name)); }

// A restart may follow at once, an abrupt one writing nothing back: what the
// next start is to find must already be on the disk.
void make_durable(std::string_view name) {
    if (!name.empty()) host::sync_path(fs_path(value_path(name)));
    host::sync_path(fs_path(autostart_folder()));
}

}  // namespace

bool set_autorun_value(std::string_view name, std::string_view command_line) {
    std::error_code ec;
    std::filesystem::create_directories(autostart_folder(), ec);
    std::ofstream out(value_path(name), std::ios::binary | std::ios::trunc);
    out << command_line;
    out.close();
    if (!out) return false;
    make_durable(name);
    return true;
}

bool remove_autorun_value(std::string_view name) {
    std::error_code ec;
    const bool removed = std::filesystem::remove(value_path(name), ec);
    if (removed) make_durable({});
    return removed;
}

std::string get_autorun_value(std::string_view name) {
    std::ifstream in(value_path(name), std::ios::binary);
    if (!in) return {};
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::pair<std::string, std::string>> autorun_values() {
    std::vector<std::pair<std::string, std::string>> values;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(autostart_folder(), ec)) {
        if (!e.is_regular_file(ec)) continue;
        std::string name = e.path().filename().string();
        values.emplace_back(name, get_autorun_value(name));
    }
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace tb
