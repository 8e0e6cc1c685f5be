#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>
#include <utility>

extern char** environ;

namespace tb {

namespace {

// Our environment with `overrides` ("NAME=value") replacing or adding entries.
std::vector<std::string> merged_environment(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    auto overridden = [&](const std::string& entry) {
        size_t eq = entry.find('=');
        for (const auto& o : overrides)
            if (o.compare(0, o.find('=') + 1, entry, 0, eq + 1) == 0) return true;
        return false;
    };
    for (char** e = environ; e && *e; ++e)
        if (!overridden(*e)) env.emplace_back(*e);
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (auto& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Owns a file descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// In the new process, between fork and exec: system calls only. Failures
// are reported through `report` (close-on-exec, so a successful exec
// reports nothing).
[[noreturn]] void become_child(char* const* argv, char* const* envp, const ChildOptions& o, pid_t parent,
                               int input_fd, int output_fd, int report) {
    int failure = 0;
    if (o.end_with_parent) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The parent may have died before the request above took effect.
        if (::getppid() != parent) ::_exit(127);
    }
    if (o.own_process_group) ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (input_fd >= 0 && ::dup2(input_fd, STDIN_FILENO) < 0) failure = errno;
    if (!failure && output_fd >= 0 &&
        (::dup2(output_fd, STDOUT_FILENO) < 0 || ::dup2(output_fd, STDERR_FILENO) < 0))
        failure = errno;
    if (!failure && !o.work_folder.empty() && ::chdir(o.work_folder.c_str()) != 0) failure = errno;
    if (!failure) {
        ::execve(argv[0], argv, envp);
        failure = errno;
    }
    ssize_t written = ::write(report, &failure, sizeof failure);
    (void)written;
    ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)),
      status_(o.status_),
      end_with_parent_(o.end_with_parent_),
      group_leader_(o.group_leader_) {}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0) return;
    if (end_with_parent_) {
        end();
    } else {
        ::waitpid(pid_, nullptr, WNOHANG);
    }
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& work_folder,
                         const std::string& output_file) {
    ChildOptions o;
    o.work_folder = work_folder;
    o.output_file = output_file;
    return start(argv, o);
}

bool ChildProcess::start(const std::vector<std::string>& argv, const ChildOptions& options) {
    if (argv.empty() || pid_ > 0) return false;
    // Everything the new process needs is prepared here: between fork and
    // exec only system calls are made.
    std::vector<std::string> args_text = argv;
    std::vector<char*> args = pointers(args_text);
    std::vector<std::string> env_text = merged_environment(options.environment);
    std::vector<char*> envp = pointers(env_text);
    const bool redirect = !options.output_file.empty();
    Fd output(redirect ? ::open(options.output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1);
    if (redirect && output.get() < 0) return false;
    Fd input(options.no_input ? ::open("/dev/null", O_RDONLY | O_CLOEXEC) : -1);
    if (options.no_input && input.get() < 0) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    Fd report_read(fds[0]), report_write(fds[1]);

    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) become_child(args.data(), envp.data(), options, parent, input.get(), output.get(),
                               report_write.get());
    // Set on both sides, so that the group exists whichever runs first.
    if (options.own_process_group) ::setpgid(pid, pid);
    report_write.reset();
    int failure = 0;
    ssize_t n;
    do {
        n = ::read(report_read.get(), &failure, sizeof failure);
    } while (n < 0 && errno == EINTR);
    if (n == sizeof failure) {
        ::waitpid(pid, nullptr, 0);
        return false;
    }
    pid_ = pid;
    status_ = 0;
    end_with_parent_ = options.end_with_parent;
    group_leader_ = options.own_process_group;
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

bool ChildProcess::exited_within(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        siginfo_t info{};
        int r = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
        if (r == 0 && info.si_pid == pid_) return true;
        if (r < 0 && errno != EINTR) return true;  // not our child any more
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ChildProcess::reap() {
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    status_ = (r == pid_ && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
}

void ChildProcess::end(int grace_ms) {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    bool exited = exited_within(grace_ms);
    // The leader is not reaped yet, so its group number still names its group.
    if (group_leader_) ::kill(-pid_, SIGKILL);
    if (!exited) ::kill(pid_, SIGKILL);
    reap();
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
