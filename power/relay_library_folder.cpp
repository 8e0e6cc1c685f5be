#include "power/relay_library_folder.h"

#include "platform/paths.h"
#include "script/app_context.h"

namespace tb {

std::string relay_library_folder() {
    if (!app().work_folder.empty()) return app().work_folder;
    return path_folder(app().program_path);
}

}  // namespace tb
