// Entry point: a console run of one script on job slot 0.
//   tamblor SCRIPT:"path.scpt" [words...]
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "script/run_job.h"

int main(int argc, char** argv) {
    using namespace tb;
    reset_app_context();
    AppContext& a = app();
    a.program_path = program_path();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // "SCRIPT:" written apart from its path.
        if ((arg == "SCRIPT:" || arg == "script:") && i + 1 < argc) arg += argv[++i];
        args.push_back(arg);
    }
    parse_command_line(args);
    a.run_style = kStyleConsole;
    a.caption = "Tamblor";

    std::string script = sub_param_value(a.sub_params, "SCRIPT");
    if (script.empty()) {
        std::fprintf(stderr, "usage: tamblor SCRIPT:\"path.scpt\" [word ...]\n");
        return 2;
    }
    JobSlot* js = job_slot(0);
    js->script_path = absolute_path(script);
    a.exit_code = run_job(0);
    std::fflush(a.console);
    return a.exit_code;
}
