// File_JobState: the state of a file job, from its number.
#include <optional>

#include "common/format.h"
#include "files/file_commands.h"
#include "files/file_job_finish.h"
#include "files/file_jobs.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"JobID", "Job", ArgType::Number, "0", 0, 0xFFFFFFFF},
};

}  // namespace

void cmd_File_JobState(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "File_JobState", kSpecs);
    if (!a) return;
    const uint32_t number = static_cast<uint32_t>(a->number("JobID"));
    const std::optional<int64_t> state = file_job_state(number);
    if (!state) {
        raise_error(slot, kErrVariableNotInitial, fmt("%s: no file job %d was started", file_job_variable(number), number));
        return;
    }
    publish_file_job_state(slot, number);
    set_result_number(slot, name, *state);
    if (*state == kFileWriteEnded || *state == kFileReadEnded) raise_file_job_failure(slot, number);
}

}  // namespace tb
