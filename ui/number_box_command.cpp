// NumberBox( Title:"Number:", Default:10, AutoOK:FALSE ), taken by position:
// a whole number of at most eight digits; the result is the number.
#include "common/format.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/operator_dialogs.h"
#include "ui/box_arguments.h"
#include "ui/box_commands.h"

namespace tb {

namespace {
constexpr int64_t kLargestBoxNumber = 99999999;  // the edit holds eight digits
}

void cmd_NumberBox(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string title;
    int64_t initial = 10;
    bool auto_ok = false;
    if (!box_text(r, positional_arg(r, 0), title, "Number:") || !box_number(r, positional_arg(r, 1), initial, 10) ||
        !box_flag(r, positional_arg(r, 2), auto_ok, false))
        return;
    if (initial < 0 || initial > kLargestBoxNumber) {
        raise_error(slot, kErrParam,
                    fmt("%s: Default %I64d is out of range (0 to %I64d)", name, initial, kLargestBoxNumber));
        return;
    }
    if (answered_for_nobody(slot, name)) return;

    std::optional<int64_t> number = operator_dialogs()->number(slot, NumberRequest{title, initial, auto_ok});
    set_result_number(slot, name, number.value_or(0));
}

}  // namespace tb
