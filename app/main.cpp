// Entry point. A packaged program runs the script it carries; an unpackaged
// one runs the script named by SCRIPT:"path". Options of our own:
//   --sim[=config]   test the simulated machine (the default)
//   --linux          test the real disks of this machine (Linux)
//   --windows        test the real disks of this machine (Windows)
//   --run-autostart  start the scripts registered by AutoRunOnStartup (the
//                    system's start-up entry runs this)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "common/ini_file.h"
#include "common/text.h"
#include "app/console_requests.h"
#include "app/package.h"
#include "app/package_filter.h"
#include "app/process_commands.h"
#include "app/restart_continuation.h"
#include "app/start_up.h"
#include "app/usage_text.h"
#include "app/wiring.h"
#include "disk/target_select.h"
#include "exttools/tool_commands.h"
#include "platform/host/program_arguments.h"
#include "platform/named_mutex.h"
#include "platform/paths.h"
#include "platform/stop_request.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/fn_script.h"
#include "script/job_tasks.h"
#include "script/job_slot.h"
#include "script/run_job.h"
#include "script/sync_commands.h"
#include "ui/job_log.h"
#ifdef TAMBLOR_WINDOW
#include "ui/qt/run_choice.h"
#include "ui/qt/window_run.h"
#endif

namespace {

// Whether the run shows the main window: never for the console run styles
// (30, 31), nor without a display, nor in a program built without it.
bool window_run_for(int run_style) {
#ifdef TAMBLOR_WINDOW
    return tb::qtui::window_run_wanted(run_style, tb::qtui::display_available());
#else
    (void)run_style;
    return false;
#endif
}

// Runs the job in the main window; the window starts it for a command-line
// target, else at the operator's Start.
int run_window_until_done(int& argc, char** argv) {
#ifdef TAMBLOR_WINDOW
    return tb::qtui::run_main_window(argc, argv);
#else
    (void)argc;
    (void)argv;
    return 0;
#endif
}

// Runs the job to its end. A stop request that came before the job thread
// cleared its cancel flag still stops it.
int run_job_until_done() {
    tb::JobThread job;
    if (!tb::stop_requested()) job.start(0);
    while (tb::app().jobs[0].running.load()) {
        if (tb::stop_requested()) tb::set_cancel(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return job.join();
}

// A run stopped by a stop request must not read as passed: the exit code
// reports the request (130 for Ctrl+C, 143 for a request to terminate).
int stopped_exit_code(int job_exit_code) {
    const int stopped = tb::stop_request_exit_code();
    return stopped != 0 ? stopped : job_exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tb;
    reset_app_context();
    AppContext& a = app();
    a.program_path = program_path();

    std::vector<std::string> arguments = host::program_arguments(argc, argv);
    std::vector<char*> argument_list = host::argument_pointers(arguments);
    StartOptions options = split_start_options(static_cast<int>(arguments.size()), argument_list.data());
    if (!options.error.empty()) {
        std::fprintf(stderr, "tamblor: %s\n", options.error.c_str());
        return 2;
    }
    if (options.run_autostart) return run_autostart_entries();
    parse_command_line(options.words);
    if (!install_system(options)) return kErrParam;  // a machine that cannot be used: a bad argument
    watch_stop_requests(&a.jobs[0].cancel);
    instance_options() = options.machine_options;

    PreparedPackage package;
    PackageStatus status = prepare_package(a.program_path, package);
    if (status != PackageStatus::Ready && status != PackageStatus::NotPackaged) {
        std::fprintf(stderr, "%s\n", package_failure_text(status, package.problem).c_str());
        return package_error_code(status);
    }
    WorkFolderGuard work;
    JobSlot* js = job_slot(0);
    if (status == PackageStatus::Ready) {
        work = WorkFolderGuard(package.work_folder);
        apply_package_settings(package, a);
        // Without the window every run is a console run.
        if (a.run_style != kStyleRemoteConsole && !window_run_for(a.run_style)) a.run_style = kStyleConsole;
        js->script_path = package.script_path;
        DiskRestriction restriction;
        restriction.active = true;
        restriction.model_filter = effective_model_filter(package.settings.model_name, package.settings.soc_id,
                                                          package.settings.no_disk_cmd, a.sub_params);
        restriction.soc_filter = package.settings.soc_id;
        restriction.protocol_filter = package.settings.protocol_filter;
        set_disk_restriction(restriction);
        apply_target_rules(package.settings.soc_id, package.settings.no_disk_cmd);
    } else {
        a.caption = "Tamblor";
        a.run_style = window_run_for(kStyleWindow) ? kStyleWindow : kStyleConsole;
        apply_target_rules("", "");
    }
    // A script named on the command line (a function-script child, or the
    // unpackaged program) replaces the packaged one.
    if (!options.script.empty()) js->script_path = absolute_path(options.script);
    if (!options.sub_base.empty()) {
        js->sub_base = options.sub_base;
        job_log_state(0)->forward_log_path = options.sub_base;
    }
    // The external tools: ExtCmd.ini of the unpacked package, or beside the
    // script an unpackaged program runs.
    {
        const std::string tools_folder =
            status == PackageStatus::Ready ? package.work_folder : path_folder(js->script_path);
        if (!tools_folder.empty()) install_tool_commands(path_join(tools_folder, "ExtCmd.ini"), tools_folder);
    }

    console_initial(false);
    if (started_from_remote_shell()) a.run_style = kStyleRemoteConsole;
    if (serve_console_request()) {
        console_end();
        return 0;
    }
    if (js->script_path.empty()) {
        if (a.run_style == kStyleRemoteConsole && status == PackageStatus::Ready) {
            if (!write_help(0)) std::fputs(builtin_help_text().c_str(), a.console);
        } else {
            std::fputs(usage_text().c_str(), stderr);
        }
        console_end();
        return status == PackageStatus::Ready ? 0 : 2;
    }

    // The stop-on-error broadcast: the free word ERRSTOP, or ErrStop=1 in
    // the package's ScriptInfo.ini.
    if (ifind(a.sub_params, "ERRSTOP$") != std::string::npos ||
        (status == PackageStatus::Ready &&
         profile_int(ini_read_string(package.info_path, "SCRIPTINFO", "ErrStop", ""), 0) != 0))
        broadcast_on_error() = true;

    open_shared_mutexes();
    register_instance();
    int exit_code = 0;
    // A start registered by PCReBoot goes on with the run it saved.
    const ContinuationResult resumed = start_continuation(0);
    if (resumed.start == ContinuationStart::Failed) {
        std::fprintf(a.console, "%s\n", resumed.error.c_str());
        exit_code = resumed.code;
    } else if (resumed.start == ContinuationStart::None && !a.console_run()) {
        exit_code = run_window_until_done(argc, argv);
    } else if (resumed.start == ContinuationStart::None && !select_start_target()) {
        std::fprintf(a.console, "NO FOUND %s or Package restrictions cannot support this drive\n", a.target.c_str());
        exit_code = kErrOpenDisk;
    } else {
        exit_code = run_job_until_done();
    }
    shut_down_job_tasks();
    unregister_instance();
    console_end();
    // The job's log folder outlives the work folder it was made in.
    if (!js->log_folder.empty()) work.keep(js->log_folder);
    for (const std::string& folder : folders_kept_at_exit()) work.keep(folder);
    a.exit_code = stopped_exit_code(exit_code);
    return a.exit_code;
}
