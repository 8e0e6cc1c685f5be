#include "exttools/program_run.h"

#include <chrono>
#include <memory>

#include "platform/child_process.h"
#include "platform/paths.h"
#include "script/job_tasks.h"

namespace tb {

namespace {

constexpr int kPollMs = 200;

bool has_folder_part(const std::string& path) { return path.find_first_of("/\\") != std::string::npos; }

bool is_absolute(const std::string& path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

// A program left running after its wait: waited for on a task of the job,
// so that it does not linger unreaped.
void reap_in_background(int slot, std::unique_ptr<ChildProcess> child) {
    std::shared_ptr<ChildProcess> owned(std::move(child));
    start_job_task(slot, "reap program", AtJobEnd::Detach, [owned](const TaskControl& control) {
        while (!control.stop_requested() && !owned->wait_for(kPollMs)) {
        }
    });
}

}  // namespace

void resolve_program(ProgramRun& run) {
    if (run.argv.empty()) return;
    std::string& program = run.argv[0];
    if (is_absolute(program)) return;
    const std::string in_folder = path_join(run.work_folder, program);
    if (has_folder_part(program) || file_exists(in_folder)) {
        program = in_folder;
        return;
    }
    run.search_path = true;
}

ProgramOutcome run_program(int slot, const ProgramRun& run, const std::function<bool()>& give_up, int64_t limit_ms) {
    ProgramOutcome out;
    auto child = std::make_unique<ChildProcess>();
    ChildOptions options;
    options.work_folder = run.work_folder;
    options.output_file = run.output_file;
    options.no_input = true;
    options.own_process_group = true;
    options.search_path = run.search_path;
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    };
    if (!child->start(run.argv, options)) return out;
    out.started = true;
    for (;;) {
        if (child->wait_for(kPollMs)) {
            out.ended = true;
            out.exit_code = child->exit_code();
            break;
        }
        if (give_up && give_up()) {
            child->end(kCancelGraceMs);
            out.given_up = true;
            break;
        }
        if (limit_ms >= 0 && elapsed() >= static_cast<uint64_t>(limit_ms)) {
            reap_in_background(slot, std::move(child));
            break;
        }
    }
    out.elapsed_ms = elapsed();
    return out;
}

}  // namespace tb
