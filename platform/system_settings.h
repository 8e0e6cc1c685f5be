// The machine's settings store: numeric values under backslash-separated key
// paths. On Windows it is the registry of the local machine (with
// TAMBLOR_SETTINGS_KEY naming a key of the user that stands in for it). On
// Linux it is one INI file, one section per key: $TAMBLOR_SETTINGS_FILE,
// else /var/lib/tamblor/settings.ini for root, else
// ~/.config/tamblor/settings.ini.
#pragma once

#include <cstdint>
#include <string_view>

namespace tb {

// False when the value is not set (out keeps its value).
bool get_system_value(std::string_view key, std::string_view name, uint32_t& out);
bool set_system_value(std::string_view key, std::string_view name, uint32_t value);

}  // namespace tb
