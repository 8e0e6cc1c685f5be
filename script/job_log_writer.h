// The job log as the engine sees it: every line a job produces, the result
// file the result commands read back, and the output stem file names derive
// from. The program installs the writer that keeps them; the free functions
// below hand every call to the installed one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/format.h"
#include "script/log_line.h"

namespace tb {

class JobLogWriter {
public:
    virtual ~JobLogWriter() = default;

    virtual int write_line(int slot, std::string_view text, LineFormat format, int font_size, uint32_t line_colour,
                           LineKind kind, std::string_view value) = 0;
    virtual void rewrite_line(int slot, int index, std::string_view text) = 0;
    virtual void attach_data_file(int slot, uint32_t line_colour, const std::string& path, bool show) = 0;
    virtual void attach_image_line(int slot, int index, std::string_view text, const std::string& image_path) = 0;
    virtual bool keyword_lookup(int slot, std::string_view file_name, std::string_view keywords, std::string& value,
                                std::string* matched) = 0;
    virtual void open_job_logs(int slot) = 0;
    virtual void close_job_logs(int slot) = 0;
    // True while the job's HTML log is being written.
    virtual bool html_log_open(int slot) = 0;
    // Opens the HTML log of the slot's last job again for appending when it
    // is closed (lines that come after the job ended); true when it opened it.
    virtual bool reopen_html_log(int /*slot*/) { return false; }
    virtual void clear_job_log(int slot) = 0;
    virtual std::vector<LogLine> job_log_lines(int slot) = 0;
    virtual std::string output_stem(int slot) = 0;
    // Back to the state of a slot that never ran: no lines, no open files,
    // the line counter at zero.
    virtual void reset_job_log(int slot) = 0;
};

// Installs the writer every later call goes to and hands back the one it
// replaces (nullptr: none).
std::shared_ptr<JobLogWriter> install_job_log_writer(std::shared_ptr<JobLogWriter> writer);

// The installed writer. With none installed every call is refused (lines are
// dropped) and the first one says so on standard error.
std::shared_ptr<JobLogWriter> job_log_writer();

// Writes one line; returns its index in the slot's list, or -1 when dropped.
int write_line(int slot, std::string_view text, LineFormat format = LineFormat::Normal, int font_size = 10,
               uint32_t line_colour = colour::kWhite, LineKind kind = LineKind::Text,
               std::string_view value = {});

// Formats at most 1023 characters with the wsprintf-style formatter and writes them as kind 0.
template <typename... A>
int write_linef(int slot, LineFormat format, int font_size, uint32_t line_colour, std::string_view f,
                const A&... args) {
    return write_line(slot, fmt(f, args...), format, font_size, line_colour);
}

// Shorthands for the common line shapes.
inline int log_text(int slot, std::string_view text, uint32_t c = colour::kWhite) {
    return write_line(slot, text, LineFormat::Normal, 10, c);
}
inline int log_error_line(int slot, std::string_view text) { return log_text(slot, text, colour::kRed); }

// Replaces the text of line `index` (count-downs); an index beyond the list is ignored.
void rewrite_line(int slot, int index, std::string_view text);

// Writes "FINDHEX:<path>" to the result file; with `show` also a kind-2 line.
void attach_data_file(int slot, uint32_t line_colour, const std::string& path, bool show);

// Turns line `index` into an image line and records the image in the result file.
void attach_image_line(int slot, int index, std::string_view text, const std::string& image_path);

// Keyword lookup over the job log since the newest command header and then the
// file `file_name` of the job's log folder. `keywords` holds alternatives
// separated by '|'. Returns false when no alternative is found.
bool keyword_lookup(int slot, std::string_view file_name, std::string_view keywords, std::string& value,
                    std::string* matched = nullptr);

// Creates "TestLog.htm" in the job's log folder (job start) and closes the
// result file and HTML log (job end).
void open_job_logs(int slot);
void close_job_logs(int slot);

// True while the job's HTML log is being written.
bool html_log_open(int slot);
// Opens the HTML log of the slot's last job again for appending when it is
// closed, so lines that come after the job ended reach it; true when it was
// reopened (the caller closes the job's logs again with close_job_logs).
bool reopen_html_log(int slot);

// Empties the slot's list (Cls, Clean Screen).
void clear_job_log(int slot);

// Snapshot of the slot's lines (tests and the window).
std::vector<LogLine> job_log_lines(int slot);

// The output stem every command derives its file names from: the job's log
// folder, then "\R" ("\S" in a function-script child) and the line counter as
// ten digits ("%s\R%010I64d"), as a native path.
std::string output_stem(int slot);

// Resets the slot's log along with the slot.
void reset_job_log(int slot);

}  // namespace tb
