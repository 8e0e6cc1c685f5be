// One run of a job: load the script, write the banners and init parameters,
// loop over the statements and perform the end-of-run step.
#pragma once

#include <string>
#include <thread>

namespace tb {

constexpr const char* kProductVersion = "Tamblor 9.0.2.25";
constexpr const char* kProductBuild = "511";

// Creates a fresh log folder for the slot's job under the work folder and
// stores it in the slot. Returns false when it cannot be created.
bool create_job_log_folder(int slot);

// Runs the script named by the slot's script_path on the calling thread and
// returns the job's exit code (0 success; the error or Exit code otherwise).
int run_job(int slot);

// Runs one typed statement as a single command (reset, execute, end-of-run
// step) and returns its statement result. Empty text does nothing.
int run_single_command(int slot, const std::string& text);

// The job's run thread: run_job() on a thread of its own. The owner stops the
// job with set_cancel() and collects the exit code with join().
class JobThread {
public:
    JobThread() = default;
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;
    // False when a job already runs in the slot.
    bool start(int slot);
    int join();

private:
    std::thread thread_;
    int exit_code_ = 0;
};

// The end-of-run step (also used after a single command).
void end_of_run(int slot, bool cancelled);

// Writes "_InitParam.txt" from a sub-parameter list (items separated by '$').
void write_init_params(int slot, const std::string& sub_params);

}  // namespace tb
