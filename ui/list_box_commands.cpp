// ComboBox: one item chosen out of a list (its index, or its text with
// Return:"String"). CheckListBox: any items checked out of a list, given as
// one quoted mark per item ("1" checked, "0" not) for an array assignment.
#include "common/format.h"
#include "common/text.h"
#include "script/handler.h"
#include "script/operator_dialogs.h"
#include "ui/box_arguments.h"
#include "ui/box_commands.h"
#include "ui/command_args.h"

namespace tb {

namespace {

std::string quoted_marks(const std::vector<bool>& marks) {
    std::string out;
    for (size_t i = 0; i < marks.size(); ++i) out += fmt(i == 0 ? "\"%d\"" : ",\"%d\"", marks[i] ? 1 : 0);
    return out;
}

}  // namespace

// ComboBox( Output:"", ItemList:"AAA|*BBB|CCC", Return:"Index", AutoOK:FALSE ); keys matched whole.
void cmd_ComboBox(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string output, list, result_kind;
    bool auto_ok = false;
    if (!box_text(r, keyed_arg(r, {"Output"}, 0), output, "") ||
        !box_text(r, keyed_arg(r, {"ItemList"}, 1), list, "AAA|*BBB|CCC") ||
        !box_text(r, keyed_arg(r, {"Return"}, 2), result_kind, "Index") ||
        !box_flag(r, keyed_arg(r, {"AutoOK"}, 3), auto_ok, false))
        return;
    std::optional<BoxItems> items = read_box_items(slot, name, list);
    if (!items) return;
    if (answered_for_nobody(slot, name)) return;

    ChoiceRequest request;
    request.title = output;
    request.items = items->texts;
    request.preselected = items->last_marked < 0 ? 0 : items->last_marked;
    request.auto_ok = auto_ok;
    const int chosen = operator_dialogs()->choose(slot, request);
    const bool as_text = iequals(result_kind, "String");
    if (chosen < 0 || static_cast<size_t>(chosen) >= request.items.size()) {
        // Closed with Escape: the job stops; the result says nothing was chosen.
        if (as_text) set_result_string(slot, name, "");
        else set_result_number(slot, name, -1);
        return;
    }
    if (as_text) set_result_string(slot, name, request.items[static_cast<size_t>(chosen)]);
    else set_result_number(slot, name, chosen);
}

// CheckListBox( Output:"", ItemList:"*AAA|BBB", AutoOK:FALSE ); taken by position.
void cmd_CheckListBox(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string output, list;
    bool auto_ok = false;
    if (!box_text(r, positional_arg(r, 0), output, "") ||
        !box_text(r, positional_arg(r, 1), list, "*AAA|BBB") ||
        !box_flag(r, positional_arg(r, 2), auto_ok, false))
        return;
    std::optional<BoxItems> items = read_box_items(slot, name, list);
    if (!items) return;
    if (answered_for_nobody(slot, name)) return;

    CheckListRequest request;
    request.title = output;
    request.items = items->texts;
    request.checked = items->marked;
    request.auto_ok = auto_ok;
    std::optional<std::vector<bool>> marks = operator_dialogs()->check_list(slot, request);
    if (!marks) {
        set_result_string(slot, name, "");
        return;
    }
    marks->resize(request.items.size(), false);
    set_result_string(slot, name, quoted_marks(*marks));
}

}  // namespace tb
