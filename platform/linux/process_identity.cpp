#include "platform/process_identity.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace tb {

namespace {

struct ProcessStat {
    bool read = false;
    char state = '?';
    uint64_t start_ticks = 0;
};

// Fields 3 (state) and 22 (start time in clock ticks since boot) of /proc/<pid>/stat.
ProcessStat stat_of(pid_t pid) {
    ProcessStat st;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return st;
    const size_t close = line.rfind(')');  // the command name may hold spaces and parentheses
    if (close == std::string::npos) return st;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    for (int n = 3; n <= 22; ++n) {
        if (!(fields >> field)) return st;
        if (n == 3) st.state = field.empty() ? '?' : field[0];
    }
    st.start_ticks = std::strtoull(field.c_str(), nullptr, 10);
    st.read = true;
    return st;
}

}  // namespace

int32_t current_process_id() { return static_cast<int32_t>(::getpid()); }

bool process_exists(int32_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

ProcessIdentity current_process_identity() {
    const pid_t self = ::getpid();
    return {static_cast<int32_t>(self), stat_of(self).start_ticks};
}

bool process_still_running(const ProcessIdentity& who) {
    if (!process_exists(who.pid)) return false;
    const ProcessStat now = stat_of(who.pid);
    if (!now.read) return true;  // unreadable: trust the id
    // A process that has ended but is not yet reaped by its parent has gone as well.
    if (now.state == 'Z' || now.state == 'X') return false;
    return who.start_ticks == 0 || now.start_ticks == who.start_ticks;
}

}  // namespace tb
