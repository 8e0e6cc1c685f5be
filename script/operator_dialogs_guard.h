// The guard every question to the operator passes: one box at a time in the
// whole process (a second job's box waits until the first is gone), and a box
// closed without an answer stops every running job.
#pragma once

#include <memory>

#include "script/operator_dialogs.h"

namespace tb {

// `inner` behind the guard. A question whose job is cancelled while it waits
// for its turn returns cancelled without being shown.
std::shared_ptr<OperatorDialogs> guard_operator_dialogs(std::shared_ptr<OperatorDialogs> inner);

}  // namespace tb
