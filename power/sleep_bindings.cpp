#include "power/sleep_bindings.h"

#include "power/sleep_commands.h"

namespace tb {

namespace {
constexpr CommandBinding kSleepBindings[] = {
    {"PowerState_S3S4", cmd_PowerState_S3S4},
    {"OneShot_S3S4", cmd_OneShot_S3S4},
    {"IsS3S4Running", cmd_IsS3S4Running},
};
}  // namespace

BindingList sleep_bindings() { return kSleepBindings; }

}  // namespace tb
