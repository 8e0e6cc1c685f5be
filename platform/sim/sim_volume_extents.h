// A file's map on the simulated machine: a volume carrying NTFS (see
// sim_volume_images.h) is walked from its root directory to the file's
// record, whose data runs give the file's place on the disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/volumes.h"

namespace tb::sim {

class SimMachine;

// `path` names the file below a volume's root folder ("<folder>/volume_D/...")
// or with its drive ("D:\dir\file").
ExtentsStatus sim_file_extents(SimMachine& machine, const std::string& path, FileExtents& out, std::string* error);

std::optional<uint64_t> sim_volume_start(SimMachine& machine, const StorageAddress& volume);

}  // namespace tb::sim
