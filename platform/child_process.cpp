#include "platform/child_process.h"

namespace tb {

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& work_folder,
                         const std::string& output_file) {
    ChildOptions o;
    o.work_folder = work_folder;
    o.output_file = output_file;
    return start(argv, o);
}

}  // namespace tb
