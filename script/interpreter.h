// The interpreter: executes one statement of a job against its block lists,
// resolving and calling commands and rewriting the statement until it is done.
#pragma once

#include <string>

namespace tb {

// Results of executing a statement.
enum StatementResult : int {
    kRewritten = 0,  // the text was rewritten: execute it again
    kDone = 1,
    kLoopBack = 2,   // continue at the slot's loop-start position
    kErrorStop = 3,
    kExitRun = 4,
    kCloseRun = 5,
};

// Empties the block lists and variables, pushes the start entries and sets
// the error variables to their start values.
void reset_run_state(int slot);

// Executes `text` once; on kRewritten the text holds the rewritten statement.
// `rerun` switches the block bookkeeping off (a rewritten statement).
int execute_statement(int slot, std::string& text, bool rerun);

// Executes a statement until it is no longer rewritten.
int run_statement(int slot, std::string text);

}  // namespace tb
