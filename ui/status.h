// The status text and progress stage of a slot. Each change is kept here
// (SetStatusText keeps the stage values it is not given) and sent to the job
// events sink, whose window shows it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/progress_stage.h"

namespace tb {

void set_status_text(int slot, std::string_view text);
std::string status_text(int slot);

// Starts a stage: the progress is at the stage start.
void set_progress_stage(int slot, ProgressStage stage);
ProgressStage progress_stage(int slot);

// Clears text and stage (start of a job, tests).
void reset_status(int slot);

}  // namespace tb
