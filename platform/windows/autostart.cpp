#include "platform/autostart.h"

#include <algorithm>
#include <cstdlib>

#include "platform/host/user_identity.h"
#include "platform/windows/registry_key.h"

namespace tb {

namespace {

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run key of the machine for an administrator, of the user otherwise,
// or the user's key that TAMBLOR_AUTOSTART_KEY names.
RegistryKey run_key(bool create) {
    if (const char* key = std::getenv("TAMBLOR_AUTOSTART_KEY"); key && *key)
        return RegistryKey(HKEY_CURRENT_USER, key, create);
    return RegistryKey(host::is_administrator() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kRunKey, create);
}

}  // namespace

bool set_autorun_value(std::string_view name, std::string_view command_line) {
    return run_key(true).set_text(std::string(name), std::string(command_line));
}

bool remove_autorun_value(std::string_view name) { return run_key(false).remove(std::string(name)); }

std::string get_autorun_value(std::string_view name) {
    std::string text;
    run_key(false).get_text(std::string(name), text);
    return text;
}

std::vector<std::pair<std::string, std::string>> autorun_values() {
    auto values = run_key(false).text_values();
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace tb
