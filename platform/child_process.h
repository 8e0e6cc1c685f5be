// Starting another program and waiting for it in steps, so that the caller
// can give up when its job is cancelled.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tb {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // reaps the child when it has already ended; never kills it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& o) noexcept : pid_(o.pid_), status_(o.status_) { o.pid_ = -1; }

    // Starts argv[0] (a path) with `argv` in `work_folder`, its standard
    // output and error going to `output_file` when one is given. False when
    // it cannot be started.
    bool start(const std::vector<std::string>& argv, const std::string& work_folder,
               const std::string& output_file = {});
    // Waits up to `ms` milliseconds; true once the child has ended.
    bool wait_for(int ms);
    bool running() const { return pid_ > 0; }
    // Exit status of an ended child (-1 when killed by a signal).
    int exit_code() const { return status_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int status_ = 0;
};

// The image names of this process's parents, nearest first, at most `depth`.
std::vector<std::string> parent_process_names(int depth);

}  // namespace tb
