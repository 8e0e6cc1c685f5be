// The machine-wide stop broadcast between instances ("XRTWM_BROADCASTERRSTOP").
//
// A shared segment holds a sequence number and the process id of the sender
// of each of the last broadcasts. Every listening instance runs a watcher
// thread that waits for the sequence to change and calls its
// receiver once for each wake-up that brought a broadcast from another
// process; its own broadcasts are ignored. Nothing is sent to processes by
// id, so a stale entry can never reach an unrelated process.
#pragma once

namespace tb {

using BroadcastReceiver = void (*)();

// Starts listening in this process (once; a forked child starts its own
// watcher). `receiver` runs on the watcher thread.
bool broadcast_listen(BroadcastReceiver receiver);
// Stops the watcher and waits for it to end.
void broadcast_stop_listening();

// Posts a broadcast to every listening instance; false when the channel
// cannot be opened.
bool broadcast_post();

}  // namespace tb
