// The end of a command that started a file job: waiting for it when asked,
// the job's dump shown, its number as the command's result and its failure
// raised on the job's own thread.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

// With `wait`: waits for the job, updates its variable, shows `dump_path` as
// a hex view when the job wrote it, and raises the job's failure. The result
// is the job number in every case.
void finish_file_job_command(int slot, const std::string& name, uint32_t number, bool wait,
                             const std::string& dump_path);

// Raises the failure of an ended job, once.
void raise_file_job_failure(int slot, uint32_t number);

}  // namespace tb
