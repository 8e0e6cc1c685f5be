// InputBox( Title:"", SpecialKey:"", LenthLimit:0, ShowResult:FALSE, Default:"" ):
// a line of text the operator enters; an entry is taken only when it has the
// length limit's length and begins with the special key. The result is the text.
#include "common/format.h"
#include "common/text.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/operator_dialogs.h"
#include "ui/box_arguments.h"
#include "ui/box_commands.h"

namespace tb {

namespace {
constexpr int64_t kLongestEntry = 512;
}

void cmd_InputBox(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    TextRequest request;
    int64_t limit = 0;
    bool show_result = false;
    if (!box_text(r, key_part_arg(r, "Title", 0), request.title, "") ||
        !box_text(r, key_part_arg(r, "SpecialKey", 1), request.special_key, "") ||
        !box_number(r, key_part_arg(r, "LenthLimit", 2), limit, 0) ||
        !box_flag(r, key_part_arg(r, "ShowResult", 3), show_result, false) ||
        !box_text(r, key_part_arg(r, "Default", 4), request.initial, ""))
        return;
    if (limit < 0 || limit > kLongestEntry) {
        raise_error(slot, kErrParam, fmt("%s: LenthLimit %I64d is out of range (0 to %I64d)", name, limit, kLongestEntry));
        return;
    }
    if (static_cast<int64_t>(utf16_length(request.initial)) > kLongestEntry) {
        raise_error(slot, kErrParam, fmt("%s: Default is longer than %I64d characters", name, kLongestEntry));
        return;
    }
    request.length_limit = static_cast<int>(limit);
    if (answered_for_nobody(slot, name)) return;

    const std::string entry = operator_dialogs()->text(slot, request).value_or("");
    set_result_string(slot, name, entry);
    if (show_result) log_text(slot, entry, colour::kYellow);
}

}  // namespace tb
