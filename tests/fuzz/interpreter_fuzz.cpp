// Feeds random script text to the interpreter with a statement budget: the
// engine must never crash, hang or leak on malformed input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/wiring.h"
#include "script/app_context.h"
#include "script/interpreter.h"
#include "script/job_slot.h"
#include "script/script_text.h"
#include "ui/job_log.h"

namespace {

constexpr int kStatementBudget = 400;
constexpr int kRewriteBudget = 64;

void init_once() {
    static bool done = false;
    if (done) return;
    done = true;
    tb::reset_app_context();
    tb::install_commands();
    tb::install_job_seams();
    tb::app().run_style = tb::kStyleConsole;
    tb::app().ui_mode = 1;  // keep the console quiet
    static FILE* sink = std::fopen("/dev/null", "w");
    tb::app().console = sink;
    tb::job_slot(0)->log_folder = "/tmp";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    init_once();
    tb::JobSlot* js = tb::job_slot(0);
    tb::reset_run_state(0);
    tb::clear_job_log(0);
    js->script.assign(reinterpret_cast<const char*>(data), size);
    size_t pos = 0;
    std::string raw;
    for (int n = 0; n < kStatementBudget && pos < js->script.size(); ++n) {
        size_t used = tb::cut_statement(js->script, pos, raw);
        if (used == 0) break;
        js->position = pos;
        std::string text = tb::clean_statement(raw);
        // Delay and the boxes would only wait; the budget keeps loops bounded.
        if (text.find("Delay") != std::string::npos || text.find("delay") != std::string::npos) {
            pos += used;
            continue;
        }
        int r = tb::execute_statement(0, text, false);
        for (int k = 0; r == tb::kRewritten && k < kRewriteBudget; ++k) r = tb::execute_statement(0, text, true);
        if (r == tb::kDone || r == tb::kRewritten) pos += used;
        else if (r == tb::kLoopBack) pos = js->loop_start;
        else break;
    }
    return 0;
}
