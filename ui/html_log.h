// The HTML job log "TestLog.htm": its fixed header and the markup of one line.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "ui/job_log.h"

namespace tb {

// The header written when the file is created (UTF-8, CR LF line ends).
extern const char kHtmlLogHeader[];

// Creates `path` with the header; false when it cannot be written.
bool create_html_log(const std::string& path);

// "<" ">" and blanks as entities.
std::string html_escape(std::string_view text);
// COLORREF 0x00BBGGRR as "#RRGGBB".
std::string html_colour(uint32_t colorref);

// The markup of one job-log line (empty for screen-only lines).
std::string html_line(const LogLine& line);

// Appends markup to the slot's open HTML log under the process-wide HTML lock;
// a failed write reopens the file for appending and writes once more.
void html_append(JobLog& log, const std::string& path, std::string_view markup);

// The process-wide HTML lock itself, for a holder that must keep every line
// out of the HTML logs for a while (one that copies them whole). Its holder
// writes no job-log line while it holds it.
std::mutex& html_log_lock();

}  // namespace tb
