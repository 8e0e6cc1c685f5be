#include "platform/host/program_arguments.h"

namespace tb::host {

std::vector<std::string> program_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace tb::host
