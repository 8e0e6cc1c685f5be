#include "power/sleep_plan.h"

#include "common/text.h"

namespace tb {

std::optional<SleepPlan> parse_sleep_plan(std::string_view text, bool allow_alternate) {
    if (iequals(text, "S3")) return SleepPlan::S3;
    if (iequals(text, "S4")) return SleepPlan::S4;
    if (allow_alternate && iequals(text, "S3+S4")) return SleepPlan::Alternate;
    return std::nullopt;
}

SleepState next_sleep_state(SleepPlan plan, std::optional<SleepState> previous) {
    switch (plan) {
        case SleepPlan::S3:
            return SleepState::Suspend;
        case SleepPlan::S4:
            return SleepState::Hibernate;
        case SleepPlan::Alternate:
            break;
    }
    return previous == SleepState::Suspend ? SleepState::Hibernate : SleepState::Suspend;
}

}  // namespace tb
