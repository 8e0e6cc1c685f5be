// Runs a program for the end-to-end tests without a shell: an argument
// vector, variables laid over the test's own environment and a working
// folder; collects what it printed (standard output and error together) and
// its exit code. Standard input is the null device. On Windows a CR LF
// line end of the output is read as LF.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tb::test {

struct ProcessResult {
    bool exited = false;  // false when the program could not start or did not end normally
    int exit_code = -1;   // the exit status as this system reports it (see script_exit)
    std::string output;
};

// The name the shell runner's callers know the result by.
using ShellResult = ProcessResult;

struct ProcessSpec {
    std::filesystem::path program;
    std::vector<std::string> args;                   // after the program's own name
    std::map<std::string, std::string> environment;  // set (or replace) these variables
    std::filesystem::path working_folder;            // empty: the test's own
};

ProcessResult run_process(const ProcessSpec& spec);

// The exit status a program shows for a script's exit value: the low eight
// bits on Linux (-90 is 166), the full 32-bit value on Windows (-90 is
// 0xFFFFFFA6, read back as -90).
int script_exit(int value);

// The test process's own id, as the programs it starts name it in folders.
int this_process_id();

}  // namespace tb::test
