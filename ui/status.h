// The main window's status text and progress stage of a slot, kept here until
// the window reads them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

struct ProgressStage {
    uint16_t start = 0;
    uint16_t end = 0;  // 0 stands for 100
};

void set_status_text(int slot, std::string_view text);
std::string status_text(int slot);

void set_progress_stage(int slot, ProgressStage stage);
ProgressStage progress_stage(int slot);

// Clears text and stage (start of a job, tests).
void reset_status(int slot);

}  // namespace tb
