#include "ui/font_list.h"

#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

void cmd_FontList(int slot, const std::string& /*args*/, const std::string& name) {
    log_text(slot, kJobLogFont);
    set_result_string(slot, name, kJobLogFont);
}

}  // namespace tb
