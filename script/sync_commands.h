// Jobs and synchronisation across instances: the barrier (SyncInit /
// SyncWait), the cross-instance lock (GlobalLock / GlobalUnLock), the
// GlobalVar commands, the function-script state and the stop broadcast.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

// Command handlers (arguments by position).
void cmd_SyncInit(int slot, const std::string& args, const std::string& name);
void cmd_SyncWait(int slot, const std::string& args, const std::string& name);
void cmd_GlobalLock(int slot, const std::string& args, const std::string& name);
void cmd_GlobalUnLock(int slot, const std::string& args, const std::string& name);
void cmd_SetGlobalVar(int slot, const std::string& args, const std::string& name);
void cmd_GetGlobalVar(int slot, const std::string& args, const std::string& name);
void cmd_IsFnScriptRunning(int slot, const std::string& args, const std::string& name);
void cmd_CancelFnScript(int slot, const std::string& args, const std::string& name);

// The barrier. Membership lasts from joining to leave_sync_group().
enum SyncWaitResult : int {
    kSyncReleased = 1,
    kSyncTimeout = 0,
    kSyncCancelled = -1,
    kSyncNotMember = -2,
    kSyncUnavailable = -3,  // the shared block could not be opened
};
// Joins the group (what SyncInit does before its delay); false when the
// shared objects cannot be opened. Joining again while a member does nothing.
bool sync_join(int slot);
// Waits for the other members (timeout 0: none). `show_message` writes
// "Wait %d Threads Synchronize..." and the timeout line; PCReBoot waits
// without them.
int sync_wait(int slot, uint32_t timeout_sec, bool show_message);
// End-of-run step: leaves the group when the slot is a member, releasing the
// others when they were all waiting for this one.
void leave_sync_group(int slot);

// End-of-run step: a script that ends without GlobalUnLock does not keep
// "GlobalMutex" (every take of the calling thread is released).
void release_global_mutex_if_held();

// The program-wide stop-on-error broadcast setting (off at start).
bool& broadcast_on_error();
// Start-up / exit: join and leave the broadcast; while registered, a
// broadcast of another instance writes "---- Broadcast Trigger Cancel Job ----"
// to slot 0's job log and sets its cancel flag, when a job runs.
void register_instance();
void unregister_instance();
// Stops the jobs of every other registered instance.
void broadcast_error_stop();
// broadcast_error_stop() when the setting is on; returns whether it was sent.
bool broadcast_error_stop_if_enabled();

}  // namespace tb
