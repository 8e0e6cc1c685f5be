// Partition_Delete( ConfirmMsg:TRUE ): deletes every partition of the job's
// disk and its table, after asking when ConfirmMsg is TRUE, so that the
// disk is raw. Refused on the system disk (-89) and on a mounted disk (-7).
// A disk without a table is left as it is. The result is TRUE when the
// disk is raw afterwards.
#pragma once

#include <string>

namespace tb {

void cmd_Partition_Delete(int slot, const std::string& args, const std::string& name);

}  // namespace tb
