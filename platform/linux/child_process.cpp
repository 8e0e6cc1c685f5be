#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>
#include <memory>
#include <utility>

#include "platform/child_environment.h"

extern char** environ;

namespace tb {

namespace {

// Our environment with `overrides` ("NAME=value") replacing or adding entries.
std::vector<std::string> environment_with(const std::vector<std::string>& overrides) {
    std::vector<std::string> current;
    for (char** e = environ; e && *e; ++e) current.emplace_back(*e);
    return merged_environment(current, overrides, false);
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
        if (o.search_path) ::execvpe(argv[0], argv, envp);
        else ::execve(argv[0], argv, envp);
        failure = errno;
    }
    ssize_t written = ::write(report, &failure, sizeof failure);
    (void)written;
    ::_exit(127);
}

// The file actions and attributes of one posix_spawn call.
class SpawnSetup {
public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawnattr_init(&attributes_);
    }
    ~SpawnSetup() {
        ::posix_spawnattr_destroy(&attributes_);
        ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // What become_child does by hand, as spawn requests: the standard
    // streams, the folder, the process group and an empty signal mask.
    bool prepare(const ChildOptions& o, int input_fd, int output_fd) {
        int failed = 0;
        if (input_fd >= 0) failed |= ::posix_spawn_file_actions_adddup2(&actions_, input_fd, STDIN_FILENO);
        if (output_fd >= 0) {
            failed |= ::posix_spawn_file_actions_adddup2(&actions_, output_fd, STDOUT_FILENO);
            failed |= ::posix_spawn_file_actions_adddup2(&actions_, output_fd, STDERR_FILENO);
        }
        if (!o.work_folder.empty())
            failed |= ::posix_spawn_file_actions_addchdir_np(&actions_, o.work_folder.c_str());
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        failed |= ::posix_spawnattr_setsigmask(&attributes_, &none);
        failed |= ::posix_spawnattr_setsigdefault(&attributes_, &all);
        if (o.own_process_group) {
            flags |= POSIX_SPAWN_SETPGROUP;
            failed |= ::posix_spawnattr_setpgroup(&attributes_, 0);
        }
        failed |= ::posix_spawnattr_setflags(&attributes_, flags);
        return failed == 0;
    }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// Starts a child that need not end with us; its pid, or -1.
pid_t spawn_child(char* const* argv, char* const* envp, const ChildOptions& o, int input_fd, int output_fd) {
    SpawnSetup setup;
    if (!setup.prepare(o, input_fd, output_fd)) return -1;
    pid_t pid = -1;
    const int r = o.search_path ? ::posix_spawnp(&pid, argv[0], setup.actions(), setup.attributes(), argv, envp)
                                : ::posix_spawn(&pid, argv[0], setup.actions(), setup.attributes(), argv, envp);
    return r == 0 ? pid : -1;
}

}  // namespace

bool backslash_escapes_in_command_lines() { return true; }

struct ChildProcess::System {
    pid_t pid = -1;
    int status = 0;
    bool end_with_parent = false;
    bool group_leader = false;

    // True once the child has exited; it stays unreaped (a zombie), so its
    // process-group number cannot be reused meanwhile.
    bool exited_within(int ms);
    void reap();
};

ChildProcess::ChildProcess() : system_(std::make_unique<System>()) {}

ChildProcess::ChildProcess(ChildProcess&& o) noexcept : system_(std::exchange(o.system_, std::make_unique<System>())) {}

ChildProcess::~ChildProcess() {
    if (!system_ || system_->pid <= 0) return;
    if (system_->end_with_parent) {
        end();
    } else {
        ::waitpid(system_->pid, nullptr, WNOHANG);
    }
}

int ChildProcess::exit_code() const { return system_->status; }

bool ChildProcess::start(const std::vector<std::string>& argv, const ChildOptions& options) {
    System& s = *system_;
    if (argv.empty() || s.pid > 0) return false;
    // Everything the new process needs is prepared here: between fork and
    // exec only system calls are made.
    std::vector<std::string> args_text = argv;
    std::vector<char*> args = pointers(args_text);
    std::vector<std::string> env_text = environment_with(options.environment);
    std::vector<char*> envp = pointers(env_text);
    const bool redirect = !options.output_file.empty();
    Fd output(redirect ? ::open(options.output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1);
    if (redirect && output.get() < 0) return false;
    Fd input(options.no_input ? ::open("/dev/null", O_RDONLY | O_CLOEXEC) : -1);
    if (options.no_input && input.get() < 0) return false;
    if (!options.end_with_parent) {
        const pid_t pid = spawn_child(args.data(), envp.data(), options, input.get(), output.get());
        if (pid < 0) return false;
        s.pid = pid;
        s.status = 0;
        s.end_with_parent = false;
        s.group_leader = options.own_process_group;
        return true;
    }
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
    s.pid = pid;
    s.status = 0;
    s.end_with_parent = options.end_with_parent;
    s.group_leader = options.own_process_group;
    return true;
}

bool ChildProcess::wait_for(int ms) {
    System& s = *system_;
    if (s.pid <= 0) return true;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(s.pid, &status, WNOHANG);
        if (r == s.pid || (r < 0 && errno != EINTR)) {
            s.status = (r == s.pid && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
            s.pid = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ChildProcess::System::exited_within(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        siginfo_t info{};
        int r = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (r == 0 && info.si_pid == pid) return true;
        if (r < 0 && errno != EINTR) return true;  // not our child any more
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ChildProcess::System::reap() {
    int st = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &st, 0);
    } while (r < 0 && errno == EINTR);
    status = (r == pid && WIFEXITED(st)) ? WEXITSTATUS(st) : -1;
    pid = -1;
}

void ChildProcess::end(int grace_ms) {
    System& s = *system_;
    if (s.pid <= 0) return;
    ::kill(s.pid, SIGTERM);
    bool exited = s.exited_within(grace_ms);
    // The leader is not reaped yet, so its group number still names its group.
    if (s.group_leader) ::kill(-s.pid, SIGKILL);
    if (!exited) ::kill(s.pid, SIGKILL);
    s.reap();
}

void ChildProcess::kill() {
    System& s = *system_;
    if (s.pid <= 0) return;
    ::kill(s.pid, SIGKILL);
    s.reap();
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
