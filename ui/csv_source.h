// Reading the CSV file a command names: the file argument resolved as every
// command resolves one it reads, then the file read, with every failure
// raised through the error policy.
#pragma once

#include <string>

#include "ui/csv_table.h"

namespace tb {

// Resolves `file` (open mode; an empty name asks) and reads it. False when
// nothing was read: the failure is raised, or the choice was cancelled.
bool load_csv_argument(int slot, std::string& file, CsvTable& table);

// Raises a reading problem through the error policy.
void raise_csv_problem(int slot, const CsvProblem& problem);

}  // namespace tb
