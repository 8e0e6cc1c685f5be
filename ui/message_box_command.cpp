// MessageBox( Output:"", Button:"OKCANCEL", AutoOK:FALSE, ICON:"QUESTION" ):
// a message with buttons; the result is the pressed button's number (OK and
// Yes 1, Cancel and No 0).
#include "common/text.h"
#include "script/handler.h"
#include "script/operator_dialogs.h"
#include "ui/box_arguments.h"
#include "ui/box_commands.h"

namespace tb {

namespace {

MessageButtons buttons_named(const std::string& text) {
    if (iequals(text, "OKCANCEL")) return MessageButtons::OkCancel;
    if (iequals(text, "YESNO")) return MessageButtons::YesNo;
    return MessageButtons::Ok;
}

MessageIcon icon_named(const std::string& text) {
    if (iequals(text, "WARNING")) return MessageIcon::Warning;
    if (iequals(text, "ERROR")) return MessageIcon::Error;
    if (iequals(text, "INFORMATION")) return MessageIcon::Information;
    return MessageIcon::Question;
}

}  // namespace

void cmd_MessageBox(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string output, button, icon;
    bool auto_ok = false;
    if (!box_text(r, key_part_arg(r, "Output", 0), output, "") ||
        !box_text(r, key_part_arg(r, "Button", 1), button, "OKCANCEL") ||
        !box_flag(r, key_part_arg(r, "AutoOK", 2), auto_ok, false) ||
        !box_text(r, key_part_arg(r, "ICON", 3), icon, "QUESTION"))
        return;
    if (answered_for_nobody(slot, name)) return;

    MessageRequest request;
    request.text = replace_all(output, "\\n", "\n");
    request.buttons = buttons_named(button);
    request.icon = icon_named(icon);
    request.auto_ok = auto_ok;
    const int answer = operator_dialogs()->message(slot, request);
    set_result_number(slot, name, answer == kAnswerEscaped ? 0 : answer);
}

}  // namespace tb
