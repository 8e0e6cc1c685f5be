// Running one external program to its end for a job: started directly
// (never through a shell) as the leader of a process group of its own, its
// output captured into a file, and waited for in short steps. When the
// caller gives up (the job is cancelled) the program and everything it
// started in its group are ended within about a second.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tb {

struct ProgramRun {
    std::vector<std::string> argv;  // argv[0]: the program
    std::string work_folder;
    std::string output_file;        // its standard output and error
    bool search_path = false;       // argv[0] without a folder is looked for along the PATH
};

struct ProgramOutcome {
    bool started = false;
    bool ended = false;       // it ended by itself within the wait
    bool given_up = false;    // the caller gave up and it was ended
    int exit_code = -1;
    uint64_t elapsed_ms = 0;
};

// Time a program is given to end after it is asked to when its job is cancelled.
constexpr int kCancelGraceMs = 1000;

// Runs `run` and waits until it ends, `give_up` returns true, or `limit_ms`
// passes (negative: no limit). A program still running at the limit is left
// running (and reaped in the background).
ProgramOutcome run_program(int slot, const ProgramRun& run, const std::function<bool()>& give_up,
                           int64_t limit_ms = -1);

// The program for a command line's first word: a name without a folder part
// that names a file in `work_folder` is that file; another relative path is
// taken from `work_folder`; a bare name is otherwise looked for along the
// PATH (search_path set).
void resolve_program(ProgramRun& run);

}  // namespace tb
