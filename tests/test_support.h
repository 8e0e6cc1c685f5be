// Shared set-up for engine tests: a fresh slot 0 with a temporary log folder.
#pragma once

#include <string>

namespace tb::test {

// Resets the process record and slot 0, gives the slot a fresh temporary log
// folder and returns it. Console output goes to an in-memory buffer.
std::string fresh_slot();

// What console runs printed since fresh_slot().
std::string console_output();

// Runs statements one after another as a script would (no block lists kept
// across calls beyond the slot's own).
int run(const std::string& statement);

// The value of a variable of slot 0 printed as text ("<undefined>" when absent).
std::string var(const std::string& name);

// Writes a file and returns its path.
std::string write_file(const std::string& folder, const std::string& name, const std::string& bytes);

// Runs a whole script text through the job runner on slot 0; returns the exit code.
int run_script_text(const std::string& text, const std::string& file_name = "t.scpt");

}  // namespace tb::test
