// File jobs: File_Write and File_Read running on threads of their own. Each
// job has a number (what the command returns) and a state the script reads
// with File_JobState and finds in the job's variable "_FThread<number>":
// 17 while a write runs, 31 when it has ended, 33 while a read runs, 47
// when it has ended. A job stops when asked (the job's cancel flag) and at
// the end of the job that started it; no file job outlives its job.
//
// The thread never touches the job's variables or its error state: its
// failure is kept with the job and raised on the job's own thread, by the
// command that waits for it or by File_JobState once the job has ended.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tb {

enum class FileJobKind { Write, Read };

constexpr int64_t kFileWriteRunning = 17;
constexpr int64_t kFileWriteEnded = 31;
constexpr int64_t kFileReadRunning = 33;
constexpr int64_t kFileReadEnded = 47;

// What a job body ended with: 1, or an error code of the table and its detail.
struct FileJobOutcome {
    int32_t code = 1;
    std::string detail;
};

// What a job body is handed.
class FileJobControl {
public:
    virtual ~FileJobControl() = default;
    // The job was stopped (its job cancelled or ending).
    virtual bool stop_requested() const = 0;
    // The body's first lines are written: the starting command may return.
    virtual void started() const = 0;
};

using FileJobBody = std::function<FileJobOutcome(const FileJobControl&)>;

// Starts a job for the job of `slot`, sets its variable to the running state
// and returns its number once the body has called started() (or ended).
uint32_t start_file_job(int slot, FileJobKind kind, FileJobBody body);

// The job's state (one of the four values); nothing for a number that names no job.
std::optional<int64_t> file_job_state(uint32_t number);

// Waits until the job's body has returned.
void wait_file_job(uint32_t number);

// Copies the job's state into its variable "_FThread<number>" of `slot`.
void publish_file_job_state(int slot, uint32_t number);

// The failure of an ended job, handed out once (nothing while it runs, after
// a success, or when it was already taken).
std::optional<FileJobOutcome> take_file_job_failure(uint32_t number);

// "_FThread<number>".
std::string file_job_variable(uint32_t number);

}  // namespace tb
