// The one place where the program installs what its parts run with: the
// command table, the machine whose disks are tested, and every other seam.
#pragma once

#include "app/start_up.h"

namespace tb {

// The command table: the program's rows with the handlers every subsystem
// binds to them. Tests install it the same way.
void install_commands();

// What a job reports to and reads from outside the engine: the job-log writer
// and the current target's physical path. Tests install them the same way.
void install_job_seams();

// The block storage, volumes and files of this machine (`real_machine`) or
// of the simulated one. The program installs them with its machine; a tool
// that runs workloads on this machine's devices installs them alone.
void install_storage(bool real_machine);

// Everything the program needs before it reads the package or runs a job.
// False (with a message on standard error) when the machine the options ask
// for cannot be used.
bool install_system(const StartOptions& options);

}  // namespace tb
