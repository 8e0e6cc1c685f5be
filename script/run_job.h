// One run of a job: load the script, write the banners and init parameters,
// loop over the statements and perform the end-of-run step.
#pragma once

#include <string>

namespace tb {

// Creates a fresh log folder for the slot's job under the work folder and
// stores it in the slot. Returns false when it cannot be created.
bool create_job_log_folder(int slot);

// Runs the script named by the slot's script_path on the calling thread and
// returns the job's exit code (0 success; the error or Exit code otherwise).
int run_job(int slot);

// The end-of-run step (also used after a single command).
void end_of_run(int slot, bool cancelled);

// Writes "_InitParam.txt" from a sub-parameter list (items separated by '$').
void write_init_params(int slot, const std::string& sub_params);

}  // namespace tb
