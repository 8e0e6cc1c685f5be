// The user's desktop: opening a file or an address with the program the
// desktop associates with it, starting a viewer program on a file, and the
// desktop folder.
//
// Which desktop: on the simulated machine nothing is started (a run never
// opens windows on the machine it runs on); elsewhere this system's (Linux:
// xdg-open and $XDG_DESKTOP_DIR or ~/Desktop; Windows: ShellExecuteW and the
// shell's desktop folder). Tests install their own with set_desktop.
#pragma once

#include <memory>
#include <string>

namespace tb {

class Desktop {
public:
    virtual ~Desktop() = default;
    // Opens a file, a folder or an address with its associated program;
    // false when that could not be started.
    virtual bool open(const std::string& path_or_address) = 0;
    // Starts `program` with `file` as its one argument; false when it could
    // not be started.
    virtual bool open_with(const std::string& program, const std::string& file) = 0;
    // The user's desktop folder (empty when there is none).
    virtual std::string folder() = 0;
};

// The desktop in use: the one installed by set_desktop, else the one of the
// disk machine in use.
Desktop& desktop();
// Installs a desktop (tests); nullptr goes back to the default.
void set_desktop(std::unique_ptr<Desktop> chosen);

// This system's own desktop (platform/linux or platform/windows).
std::unique_ptr<Desktop> make_native_desktop();

}  // namespace tb
