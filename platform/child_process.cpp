#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

extern char** environ;

namespace tb {

ChildProcess::~ChildProcess() {
    if (pid_ > 0) ::waitpid(pid_, nullptr, WNOHANG);
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& work_folder,
                         const std::string& output_file) {
    if (argv.empty() || pid_ > 0) return false;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output_file.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
#ifdef __GLIBC__
    if (!work_folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, work_folder.c_str());
#endif
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    pid_ = pid;
    return true;
}

bool ChildProcess::wait_for(int ms) {
    if (pid_ <= 0) return true;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) {
            status_ = (r == pid_ && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> parent_process_names(int depth) {
    std::vector<std::string> names;
    pid_t pid = ::getppid();
    for (int i = 0; i < depth && pid > 1; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) break;
        // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
        size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) break;
        names.push_back(line.substr(open + 1, close - open - 1));
        std::string rest = line.substr(close + 2);
        size_t blank = rest.find(' ');
        if (blank == std::string::npos) break;
        pid = static_cast<pid_t>(std::atoi(rest.c_str() + blank + 1));
    }
    return names;
}

}  // namespace tb
