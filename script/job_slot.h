// The engine's state for one job: one script run against one disk.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "script/block_list.h"
#include "script/var_list.h"

namespace tb {

struct JobSlot {
    int index = 0;

    // Block structure and variables.
    VarList vars;
    BlockList main_list, sub_list, loop_list;
    int64_t break_level = -1;  // -1: no Break or false While in progress
    uint32_t loop_depth = 0;   // depth of the innermost executing loop, 0 when none

    // Script text and reading position (byte offsets into `script`).
    std::string script_path;
    std::string script;
    size_t position = 0;    // start of the statement being executed
    size_t loop_start = 0;  // where the keyword of the current While begins

    // Error state of the current statement.
    int32_t error_code = 0;
    std::string error_text;

    // Folders and run bookkeeping.
    std::string log_folder;       // the job's log folder
    std::string log_copy_folder;  // set by SetLogFolder: copied to at job end
    std::string sub_base;         // non-empty in a function-script child
    std::chrono::steady_clock::time_point start_time{};
    bool sync_member = false;
    bool hide_command_echo = false;  // ShowCLICmdHeader( Show:FALSE )
    std::string typed_command;       // the statement typed by the user while it runs as a single command
    uint64_t output_counter = 0;     // second counter of the output stem
};

// Number of job slots (one job per process).
constexpr int kSlotCount = 1;
// Slot index that writes nothing.
constexpr int kNoSlot = 255;

// The slot record for an index, or nullptr for an index that names no slot.
JobSlot* job_slot(int slot);

}  // namespace tb
