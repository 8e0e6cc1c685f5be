// The state files of a run saved before a restart: VarList.sct,
// MainList.sct, SubList.sct, LoopList.sct and ScriptInfo.sct, named
// "<temporary folder>/ScreenAPId<frame>_<name>" (the system's separator).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "script/block_list.h"
#include "script/script_info_image.h"
#include "script/var_list.h"

namespace tb {

struct SavedRunState {
    VarList vars;
    BlockList main_list, sub_list, loop_list;
    ScriptInfoImage info;
};

// The path of one state file of `frame` in `folder`.
std::string state_file_path(std::string_view folder, uint32_t frame, std::string_view name);

// Writes the five files (each whole or not at all, made durable). False
// with `error` naming the file that could not be written.
bool save_run_state(const std::string& folder, uint32_t frame, const SavedRunState& state, std::string& error);

// Reads the five files back; nullopt with `error` naming the file that is
// missing, unreadable or malformed.
std::optional<SavedRunState> load_run_state(const std::string& folder, uint32_t frame, std::string& error);

// Removes the five files of `frame` (missing ones are no failure).
void remove_run_state(const std::string& folder, uint32_t frame);

}  // namespace tb
