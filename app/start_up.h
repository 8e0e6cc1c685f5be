// Start-up steps around the command-line rules: our own options, the target
// post-processing, the remote-shell probe and the choice of the start target.
#pragma once

#include <string>
#include <vector>

namespace tb {

struct StartOptions {
    std::vector<std::string> words;            // arguments for the command-line rules
    std::vector<std::string> machine_options;  // "--sim[=file]" / "--linux" / "--windows", handed to children too
    bool linux_disks = false;    // "--linux"
    bool windows_disks = false;  // "--windows"
    std::string sim_config;  // "--sim=<file>"
    std::string script;      // SCRIPT:"path"
    std::string sub_base;    // SUBBASE:"path" of a function-script child
    bool run_autostart = false;  // "--run-autostart": start what the autostart store holds
    std::string error;           // a bad option
};

// Starts every command line of the autostart store (what the system's
// start-up unit runs) and waits for them; returns 0.
int run_autostart_entries();

// Splits argv (argument 0 excluded) into our options and the words of the
// command-line rules. "SCRIPT:" written apart from its path is joined to it.
// SCRIPT: and SUBBASE: are read here because a later SUBPARAM: word replaces
// the sub-parameter list that would otherwise hold them.
StartOptions split_start_options(int argc, char** argv);

// Target post-processing: "\\.\ALL\" targets, SOCID "_WithOutDrv" and the
// NoDiskCmd words (console runs test every disk through \\.\COMBOdisk1).
void apply_target_rules(const std::string& soc_id, const std::string& no_disk_cmd);

// Whether a parent process (up to three levels) is the OpenSSH server.
bool started_from_remote_shell();
bool remote_shell_in(const std::vector<std::string>& parent_names);

// Chooses the start target: the command-line target when one was given
// (false when nothing matches it), else the first allowed disk that is not
// the system disk; without such a disk the run goes on without one.
bool select_start_target();

}  // namespace tb
