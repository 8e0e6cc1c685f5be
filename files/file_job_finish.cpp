#include "files/file_job_finish.h"

#include "files/file_jobs.h"
#include "files/file_size.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

void raise_file_job_failure(int slot, uint32_t number) {
    if (std::optional<FileJobOutcome> failure = take_file_job_failure(number))
        raise_error(slot, failure->code, failure->detail);
}

void finish_file_job_command(int slot, const std::string& name, uint32_t number, bool wait,
                             const std::string& dump_path) {
    set_result_number(slot, name, number);
    if (!wait) return;
    wait_file_job(number);
    publish_file_job_state(slot, number);
    if (file_size_of(dump_path)) attach_data_file(slot, colour::kOlive, dump_path, true);
    raise_file_job_failure(slot, number);
}

}  // namespace tb
