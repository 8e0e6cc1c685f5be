#include "platform/system_settings.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/ini_file.h"
#include "platform/paths.h"

namespace tb {

namespace {

std::string system_settings_file() {
    if (const char* f = std::getenv("TAMBLOR_SETTINGS_FILE"); f && *f) return f;
    if (::geteuid() == 0) return "/var/lib/tamblor/settings.ini";
    const char* home = std::getenv("HOME");
    return path_join(home && *home ? home : "/tmp", ".config/tamblor/settings.ini");
}

}  // namespace

bool get_system_value(std::string_view key, std::string_view name, uint32_t& out) {
    const std::string text = ini_read_string(system_settings_file(), key, name, "");
    if (text.empty()) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0') return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool set_system_value(std::string_view key, std::string_view name, uint32_t value) {
    const std::string file = system_settings_file();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    return ini_write_string(file, key, name, std::to_string(value));
}

}  // namespace tb
