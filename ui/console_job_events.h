// The console's view of a job. A console run prints the job-log lines as the
// writer produces them (the writer's own echo, which also handles rewritten
// count-down lines and data-file dumps); the status text, the progress bar and
// the job end have no place on a console and show nothing.
#pragma once

#include <memory>

#include "script/job_events.h"

namespace tb {

class ConsoleJobEvents final : public JobEvents {
public:
    void status_text(int slot, std::string_view text) override;
    void progress(int slot, ProgressStage stage, int percent_of_stage) override;
    void log_line_added(int slot, int index, const LogLine& line) override;
    void log_line_changed(int slot, int index, const LogLine& line) override;
    void log_cleared(int slot) override;
    void job_ended(int slot, int exit_code) override;
};

std::shared_ptr<JobEvents> make_console_job_events();

}  // namespace tb
