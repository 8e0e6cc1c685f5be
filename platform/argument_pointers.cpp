#include "platform/host/program_arguments.h"

namespace tb::host {

std::vector<char*> argument_pointers(std::vector<std::string>& args) {
    std::vector<char*> out;
    out.reserve(args.size() + 1);
    for (auto& a : args) out.push_back(a.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace tb::host
