// Shared pieces of the power-hub tests: a fresh slot with the hub settings
// of one test (port name, hub kind in a settings file of its own) and the
// outcome of one command.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system_settings.h"
#include "power/hub_settings.h"
#include "script/job_slot.h"
#include "tests/scoped_environment.h"
#include "tests/test_support.h"

namespace tb::test {

class HubSettingsScope {
public:
    explicit HubSettingsScope(int kind)
        : folder_(fresh_slot()), settings_("TAMBLOR_SETTINGS_FILE", folder_ + "/settings.ini") {
        set_system_value(kHubSettingsKey, kHubKindValue, static_cast<uint32_t>(kind));
        set_hub_port_name("");
    }
    ~HubSettingsScope() { set_hub_port_name(""); }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    ScopedVariable settings_;
};

struct CommandOutcome {
    int32_t error = 0;  // the slot's error code after the command (0: none)
    std::string result; // the command's result variable
};

// Runs one statement with the slot's error cleared first.
inline CommandOutcome run_hub_command(const std::string& statement, const std::string& result_name) {
    job_slot(0)->error_code = 0;
    job_slot(0)->vars.set_number("_ErrorCheck", 1);
    run(statement);
    return {job_slot(0)->error_code, var(result_name)};
}

}  // namespace tb::test
