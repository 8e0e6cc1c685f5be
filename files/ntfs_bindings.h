// The handlers of files/ for the NTFS record walker's commands: from a file to its LBAs and from an LBA or record number to its file.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList ntfs_bindings();

}  // namespace tb
