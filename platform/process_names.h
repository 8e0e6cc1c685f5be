// Which programs are running on this machine, by the file name of their
// executable: the facility behind the running checks of the external tools.
//
// Linux reads /proc (the executable's link, the first argument and the
// kernel's short name, so that a script started by its interpreter counts
// under its own name); Windows takes a toolhelp snapshot of the processes.
// Listing processes changes nothing on the machine, so the simulated machine
// answers with this system's own list. Tests install their own with
// set_process_names.
#pragma once

#include <memory>
#include <string>

namespace tb {

class ProcessNames {
public:
    virtual ~ProcessNames() = default;
    // Whether a process whose executable file name (with its extension, no
    // folder) equals `file_name` exactly, letter case included, is running.
    virtual bool running(const std::string& file_name) = 0;
};

ProcessNames& process_names();
// nullptr goes back to the default.
void set_process_names(std::unique_ptr<ProcessNames> names);

// This system's own list.
std::shared_ptr<ProcessNames> make_native_process_names();

}  // namespace tb
