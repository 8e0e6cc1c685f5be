#include "exttools/upload_html_pause.h"

#include "common/file_handle.h"
#include "platform/paths.h"
#include "script/job_slot.h"
#include "ui/html_log.h"
#include "ui/job_log.h"

namespace tb {

namespace {

constexpr char kHtmlLogName[] = "TestLog.htm";

}  // namespace

HtmlLogPause::HtmlLogPause(int slot) : slot_(slot) {
    JobLog* log = job_log_state(slot);
    JobSlot* js = job_slot(slot);
    // The writer takes its slot lock before the HTML lock: the same order here.
    std::unique_lock<std::mutex> lines;
    if (log) lines = std::unique_lock<std::mutex>(log->lock);
    hold_ = std::unique_lock<std::mutex>(html_log_lock());
    if (!log || !js) return;
    was_open_ = log->html != nullptr;
    if (was_open_) {
        path_ = path_join(js->log_folder, kHtmlLogName);
        close_file(log->html);  // flushes it
    }
}

HtmlLogPause::~HtmlLogPause() {
    JobLog* log = job_log_state(slot_);
    if (log && was_open_) log->html = FileHandle::open(path_, "ab").release();
}

}  // namespace tb
