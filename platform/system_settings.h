// The machine's settings store (the system registry of the other platform):
// numeric values under backslash-separated key paths, kept in one INI file,
// one section per key. The file is $TAMBLOR_SETTINGS_FILE, else
// /var/lib/tamblor/settings.ini for root, else ~/.config/tamblor/settings.ini.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

std::string system_settings_file();
// False when the value is not set (out keeps its value).
bool get_system_value(std::string_view key, std::string_view name, uint32_t& out);
bool set_system_value(std::string_view key, std::string_view name, uint32_t value);

}  // namespace tb
