#include "power/hub_arguments.h"

#include <string>

#include "script/error_policy.h"
#include "ui/command_args.h"

namespace tb {

bool read_hub_argument(const ArgReader& r, const HubArgument& spec, int64_t& out) {
    const ArgPair* p = keyed_arg(r, {spec.key}, spec.position);
    if (!p) {
        out = spec.fallback;
        return true;
    }
    int64_t value = 0;
    if (!arg_i64(r.slot(), p->value, value) || value < 0 || value > spec.highest) {
        raise_error(r.slot(), kErrParam, std::string(spec.key) + ":" + p->value);
        return false;
    }
    out = value;
    return true;
}

}  // namespace tb
