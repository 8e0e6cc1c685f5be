// The job-log writer: every line a job produces goes through write_line(),
// which keeps the slot's log pool, echoes console runs, writes the result
// file "_Result.txt" (restarted at every command header) and "TestLog.htm",
// and forwards lines of a function-script child.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "script/job_log_writer.h"

namespace tb {

// Per-slot writer state.
struct JobLog {
    std::mutex lock;              // guards `lines`
    std::vector<LogLine> lines;   // the on-screen job log (at most kLogPoolSize)
    FILE* result_file = nullptr;  // "_Result.txt", UTF-16LE without BOM; nullptr when closed
    FILE* html = nullptr;         // "TestLog.htm"
    bool html_enabled = false;
    uint64_t line_counter = 0;     // every line written, shown in command headers
    std::string forward_log_path;  // set only in a function-script child
    int forward_image_count = 0;
    bool console_pending = false;  // a rewritten line is open on the console
};

// The writer state of a slot that can be written (slot 255 and unknown slots
// have none: nullptr).
JobLog* job_log_state(int slot);

// The writer the program installs for its jobs.
std::shared_ptr<JobLogWriter> make_job_log_writer();

}  // namespace tb
