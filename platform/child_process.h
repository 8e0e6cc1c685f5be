// Starting another program and waiting for it in steps, so that the caller
// can give up when its job is cancelled. The program is started directly,
// never through a shell: what its arguments hold reaches it unread. On Linux
// a child that need not end with us is started with posix_spawn; on Windows
// a group leader is started in a job object of its own, which ending it
// ends as a whole.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tb {

struct ChildOptions {
    std::string work_folder;               // the child's current folder (empty: ours)
    std::string output_file;               // its standard output and error (empty: ours)
    std::vector<std::string> environment;  // "NAME=value" entries set on top of our environment
    // Standard input from the null device: a child that nobody can answer
    // (for one outside the terminal's foreground group a read would stop it).
    bool no_input = false;
    // The child ends when this process dies (on Linux also when the thread
    // that started it ends), and the ChildProcess ends it when it goes away.
    bool end_with_parent = false;
    // The child leads a new process group, which its own children inherit:
    // a terminal's Ctrl+C then reaches only us, and ending the child also
    // ends whatever it left behind in that group.
    bool own_process_group = false;
    // A program named without a folder part is looked for along the PATH
    // (the system's search on Windows); a path is taken as it is.
    bool search_path = false;
};

class ChildProcess {
public:
    // Time a child gets to finish its own end-of-run step after it is asked to end.
    static constexpr int kEndGraceMs = 5000;

    ChildProcess();
    // Ends the child when it was started with end_with_parent; otherwise only
    // reaps it when it has already ended.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& o) noexcept;

    // Starts argv[0] (a path) with `argv`. False when it cannot be started.
    bool start(const std::vector<std::string>& argv, const ChildOptions& options);
    bool start(const std::vector<std::string>& argv, const std::string& work_folder,
               const std::string& output_file = {});
    // Waits up to `ms` milliseconds; true once the child has ended.
    bool wait_for(int ms);
    // Asks the child to end, gives it `grace_ms`, then kills it; a group
    // leader's group is killed too. Returns once the child is reaped.
    void end(int grace_ms = kEndGraceMs);
    // Ends the child at once, as a crash would end it: nothing it started
    // is ended on its behalf. Returns once the child is reaped.
    void kill();
    // Exit status of an ended child (-1 when it was killed).
    int exit_code() const;

private:
    struct System;
    std::unique_ptr<System> system_;
};

// Whether this system's command lines treat a backslash as an escape (the
// POSIX shells) rather than as a path separator (Windows).
bool backslash_escapes_in_command_lines();

// The image names of this process's parents, nearest first, at most `depth`.
std::vector<std::string> parent_process_names(int depth);

}  // namespace tb
