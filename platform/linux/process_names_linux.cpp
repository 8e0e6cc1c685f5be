#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/process_names.h"

namespace tb {

namespace {

constexpr size_t kShortNameChars = 15;  // the kernel keeps this much of a name in comm

std::string base_name(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string read_small_file(const std::string& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

// The names one process goes by: its executable, its first two arguments
// (an interpreter runs a script as its second) and its short name.
bool process_is_named(const std::string& dir, const std::string& name) {
    char link[PATH_MAX];
    const ssize_t n = ::readlink((dir + "/exe").c_str(), link, sizeof link - 1);
    if (n > 0 && base_name(std::string(link, static_cast<size_t>(n))) == name) return true;
    const std::string args = read_small_file(dir + "/cmdline", 8192);
    size_t start = 0;
    for (int i = 0; i < 2 && start < args.size(); ++i) {
        size_t end = args.find('\0', start);
        if (end == std::string::npos) end = args.size();
        if (base_name(args.substr(start, end - start)) == name) return true;
        start = end + 1;
    }
    std::string comm = read_small_file(dir + "/comm", 64);
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
    return !comm.empty() && comm == name.substr(0, kShortNameChars) &&
           (name.size() <= kShortNameChars || comm.size() == kShortNameChars);
}

class ProcFsNames final : public ProcessNames {
public:
    bool running(const std::string& file_name) override {
        if (file_name.empty()) return false;
        DIR* proc = ::opendir("/proc");
        if (!proc) return false;
        bool found = false;
        while (!found) {
            const dirent* e = ::readdir(proc);
            if (!e) break;
            if (!std::isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
            found = process_is_named(std::string("/proc/") + e->d_name, file_name);
        }
        ::closedir(proc);
        return found;
    }
};

}  // namespace

std::shared_ptr<ProcessNames> make_native_process_names() { return std::make_shared<ProcFsNames>(); }

}  // namespace tb
