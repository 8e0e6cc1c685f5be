#include "platform/system_settings.h"

#include <cstdlib>
#include <string>

#include "platform/windows/registry_key.h"

namespace tb {

namespace {

// The key under the local machine, or under the user's key that
// TAMBLOR_SETTINGS_KEY names.
RegistryKey settings_key(std::string_view key, bool create) {
    if (const char* stand_in = std::getenv("TAMBLOR_SETTINGS_KEY"); stand_in && *stand_in)
        return RegistryKey(HKEY_CURRENT_USER, std::string(stand_in) + "\\" + std::string(key), create);
    return RegistryKey(HKEY_LOCAL_MACHINE, std::string(key), create);
}

}  // namespace

bool get_system_value(std::string_view key, std::string_view name, uint32_t& out) {
    return settings_key(key, false).get_number(std::string(name), out);
}

bool set_system_value(std::string_view key, std::string_view name, uint32_t value) {
    return settings_key(key, true).set_number(std::string(name), value);
}

}  // namespace tb
