// The physical path of the disk the job addresses ("\\.\PHYSICALDRIVE%d"),
// as the disk layer knows it. The program installs the source; the engine
// hands the path on (a function-script child gets it as its DRIVE:).
#pragma once

#include <functional>
#include <string>

namespace tb {

using TargetPathSource = std::function<std::string()>;

// Installs the source every later read asks and hands back the one it replaces.
TargetPathSource install_target_path_source(TargetPathSource source);

// The current target's physical path; empty while no target is chosen or no
// source is installed.
std::string current_target_path();

}  // namespace tb
