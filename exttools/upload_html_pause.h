// The job's HTML log held still for an upload: the process-wide HTML lock
// taken and the slot's "TestLog.htm" flushed and closed, so that it is copied
// whole and no line reaches it meanwhile; on leaving, the file is opened
// again for appending and handed back to the job-log writer, then the lock
// is released. The holder writes no job-log line while paused.
#pragma once

#include <mutex>
#include <string>

namespace tb {

class HtmlLogPause {
public:
    explicit HtmlLogPause(int slot);
    ~HtmlLogPause();
    HtmlLogPause(const HtmlLogPause&) = delete;
    HtmlLogPause& operator=(const HtmlLogPause&) = delete;

private:
    int slot_;
    bool was_open_ = false;
    std::string path_;
    std::unique_lock<std::mutex> hold_;
};

}  // namespace tb
