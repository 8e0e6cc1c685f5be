// The job-log writer: every line a job produces goes through write_line(),
// which keeps the slot's log pool, echoes console runs, writes the result
// file "_Result.txt" (restarted at every command header) and "TestLog.htm",
// and forwards lines of a function-script child.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/format.h"

namespace tb {

// COLORREF values 0x00BBGGRR.
namespace colour {
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGrey = 0x969696;
constexpr uint32_t kCyan = 0xFFFF00;
constexpr uint32_t kBlue = 0xFF9632;
constexpr uint32_t kOrange = 0x277FFF;
constexpr uint32_t kOlive = 0x009696;
}  // namespace colour

enum class LineFormat : int { Normal = 0, LeftAligned = 1, CommandHeader = 2, CommandEnd = 3 };
enum class LineKind : int { Text = 0, Image = 1, HexFile = 2, ScreenOnly = 3, ConsoleText = 4 };

constexpr size_t kLogLineChars = 250;  // UTF-16 units kept of a line's text and value
constexpr size_t kLogPoolSize = 20000;

struct LogLine {
    int font_size = 10;
    uint32_t colour = colour::kWhite;
    bool left_aligned = false;
    LineKind kind = LineKind::Text;
    std::string text;
    std::string value;
};

// Per-slot writer state (a member of the JobSlot).
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

// Empties the slot's list (Cls, Clean Screen).
void clear_job_log(int slot);

// Snapshot of the slot's lines (tests and the window).
std::vector<LogLine> job_log_lines(int slot);

// The output stem every command derives its file names from: the job's log
// folder, then "\R" ("\S" in a function-script child) and the line counter as
// ten digits ("%s\R%010I64d"), as a native path.
std::string output_stem(int slot);

}  // namespace tb
