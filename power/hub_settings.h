// Which power hub the power commands use: the port name set by SetPowerHub
// (empty: no hub) and the hub kind.
//
// The hub kind is a machine setting, as it belongs to the hardware on the
// bench rather than to a script: the value PowerHubKind under the key
// SOFTWARE\Tamblor of the settings store (platform/system_settings.h),
// 0 when not set.
#pragma once

#include <string>

namespace tb {

constexpr const char* kHubSettingsKey = "SOFTWARE\\Tamblor";
constexpr const char* kHubKindValue = "PowerHubKind";

std::string hub_port_name();
void set_hub_port_name(std::string name);

// The kind of the settings store, or 0.
int hub_kind();

}  // namespace tb
