// Where the relay library is looked for: the program's library folder,
// which is its work folder (the package's companion files are unpacked
// there), or the program's own folder when it runs without a package.
#pragma once

#include <string>

namespace tb {

std::string relay_library_folder();

}  // namespace tb
