#include "ui/console_job_events.h"

namespace tb {

// The status line and the progress bar belong to a window; a console shows
// only the job log.
void ConsoleJobEvents::status_text(int, std::string_view) {}
void ConsoleJobEvents::progress(int, ProgressStage, int) {}

// The writer has already printed the line (or overwritten the console line)
// when the event arrives; printing it here again would double it.
void ConsoleJobEvents::log_line_added(int, int, const LogLine&) {}
void ConsoleJobEvents::log_line_changed(int, int, const LogLine&) {}

// Lines already printed stay on the terminal.
void ConsoleJobEvents::log_cleared(int) {}

// The exit code reaches the shell as the process's own.
void ConsoleJobEvents::job_ended(int, int) {}

std::shared_ptr<JobEvents> make_console_job_events() { return std::make_shared<ConsoleJobEvents>(); }

}  // namespace tb
