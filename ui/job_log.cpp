#include "ui/job_log.h"

#include <ctime>
#include <filesystem>

#include "common/text.h"
#include "platform/host/local_time.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "common/file_handle.h"
#include "ui/hex_dump.h"
#include "script/job_events.h"
#include "ui/html_log.h"
#include "ui/keyword_lookup.h"
#include "ui/text_file.h"

namespace tb {

namespace {

constexpr char kResultFileName[] = "_Result.txt";
constexpr char kHtmlFileName[] = "TestLog.htm";
constexpr size_t kConsoleHexBytes = 64;

JobLog g_logs[kSlotCount];

JobSlot* writable_slot(int slot) { return slot == kNoSlot ? nullptr : job_slot(slot); }

void console_print(std::string_view s) {
    std::FILE* c = app().console;
    if (!c) return;
    std::fwrite(s.data(), 1, s.size(), c);
    std::fflush(c);
}

// The result file is recreated (truncated) at every command header so that
// the result commands see only what the newest command printed.
void restart_result_file(const JobSlot& js, JobLog& log) {
    close_file(log.result_file);
    if (js.log_folder.empty()) return;
    log.result_file = FileHandle::open(path_join(js.log_folder, kResultFileName), "wb").release();
}

void result_write(JobLog& log, std::string_view text) {
    if (!log.result_file) return;
    std::string bytes = utf16le_bytes(text);
    std::fwrite(bytes.data(), 1, bytes.size(), log.result_file);
}

std::string header_form(uint64_t counter, std::string_view text) {
    std::time_t now = std::time(nullptr);
    const std::tm lt = host::local_time(now);
    return fmt("<%02d:%02d:%02d-%I64d> %s", lt.tm_hour, lt.tm_min, lt.tm_sec, counter, text);
}

std::string console_form(LineFormat format, std::string_view stored) {
    if (format == LineFormat::Normal || format == LineFormat::CommandEnd) return fmt("        %s", stored);
    return std::string(stored);
}

// Console runs show the start of a data file instead of the on-screen hex view.
void console_hex_dump(const std::string& path) {
    std::string bytes;
    read_file_bytes(path, bytes);
    for (const std::string& row : hex_dump_rows(bytes, kConsoleHexBytes)) console_print(fmt("        %s\n", row));
    console_print(fmt("        Hex File : %s\n", path));
}

// A function-script child hands its lines to the parent through "<path>.TXT".
void forward_line(JobLog& log, const LogLine& line) {
    if (log.forward_log_path.empty()) return;
    std::string out;
    if (line.kind == LineKind::Image) {
        std::string copy = fmt("%s_%d.PNG", log.forward_log_path, ++log.forward_image_count);
        std::error_code ec;
        std::filesystem::copy_file(fs_path(line.text), fs_path(copy),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        out = fmt("      [PNG]%s,%s\r\n", copy, line.value);
    } else if (size_t marker = line.text.find("##### SCRIPT "); marker != std::string::npos) {
        out = fmt("%s\r\n", std::string_view(line.text).substr(marker));
    } else if (!line.text.empty() && line.text.front() == '<') {
        out = fmt("%s\r\n", line.text);
    } else {
        out = fmt("      %s\r\n", line.text);
    }
    write_file_bytes(fmt("%s.TXT", log.forward_log_path), out, true);
}

// The writer of the program's jobs: the per-slot state above, the result
// file, the HTML log, the console echo and the forward log.
class JobLogFiles final : public JobLogWriter {
public:
    int write_line(int slot, std::string_view text, LineFormat format, int font_size, uint32_t line_colour,
                   LineKind kind, std::string_view value) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return -1;
        JobLog& log = g_logs[slot];
        const AppContext& a = app();
        std::unique_lock<std::mutex> guard(log.lock);

        if (format == LineFormat::CommandHeader) restart_result_file(*js, log);
        else if (format == LineFormat::CommandEnd) close_file(log.result_file);

        if (text.empty()) return -1;
        if (format == LineFormat::CommandHeader && a.debug_level == 0 && js->hide_command_echo) return -1;

        // The pool is allocated once; when it is used up the log starts over.
        const bool pool_restarted = log.lines.size() >= kLogPoolSize;
        if (pool_restarted) log.lines.clear();
        if (log.lines.capacity() < kLogPoolSize) log.lines.reserve(kLogPoolSize);

        LogLine line;
        line.font_size = font_size;
        line.colour = line_colour;
        line.kind = kind;
        line.left_aligned = format == LineFormat::LeftAligned || format == LineFormat::CommandHeader;
        line.value = utf16_truncate(value, kLogLineChars);
        ++log.line_counter;
        line.text = utf16_truncate(text, kLogLineChars);
        if (format == LineFormat::CommandHeader)
            line.text = utf16_truncate(header_form(log.line_counter, line.text), kLogLineChars);

        const bool console = a.console_run();
        const bool console_hex = console && kind == LineKind::HexFile && log.result_file;
        if (console && log.console_pending &&
            (kind == LineKind::Text || kind == LineKind::ConsoleText || console_hex)) {
            console_print("\n");  // end the rewritten line before printing below it
            log.console_pending = false;
        }
        if (console && (kind == LineKind::Text || kind == LineKind::ConsoleText)) {
            line.text = trim(line.text, " \t\r\n");
            if (!line.text.empty() && (a.ui_mode == 0 || kind == LineKind::ConsoleText))
                console_print(fmt("%s\n", console_form(format, line.text)));
        }
        if (a.debug_level == 2) {
            std::string dbg = fmt("%s\n", console_form(format, line.text));
            std::fwrite(dbg.data(), 1, dbg.size(), stderr);
        }

        if (log.result_file) {
            if (kind == LineKind::Text) result_write(log, fmt("%s\n", line.text));
            else if (kind == LineKind::Image) result_write(log, fmt("FINDIMAGE:%s\n", line.text));
            else if (kind == LineKind::HexFile && console) console_hex_dump(line.value);
            std::fflush(log.result_file);
        }

        if (!line.text.empty() && line.text.back() == '\n') line.text.pop_back();
        if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();

        log.lines.push_back(line);
        int index = static_cast<int>(log.lines.size() - 1);

        if (kind != LineKind::ScreenOnly) html_append(log, path_join(js->log_folder, kHtmlFileName), html_line(line));
        forward_line(log, line);
        guard.unlock();
        std::shared_ptr<JobEvents> events = job_events();
        if (pool_restarted) events->log_cleared(slot);
        events->log_line_added(slot, index, line);
        return index;
    }

    void rewrite_line(int slot, int index, std::string_view text) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return;
        JobLog& log = g_logs[slot];
        LogLine changed;
        {
            std::lock_guard<std::mutex> guard(log.lock);
            if (index < 0 || static_cast<size_t>(index) >= log.lines.size()) return;
            LogLine& line = log.lines[static_cast<size_t>(index)];
            line.text = utf16_truncate(text, kLogLineChars);
            line.left_aligned = false;
            if (app().console_run()) {
                console_print(fmt("\r        %s %30s", line.text, " "));
                log.console_pending = true;
            }
            changed = line;
        }
        job_events()->log_line_changed(slot, index, changed);
    }

    void attach_data_file(int slot, uint32_t line_colour, const std::string& path, bool show) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return;
        if (show) write_line(slot, path, LineFormat::Normal, 150, line_colour, LineKind::HexFile, path);
        std::lock_guard<std::mutex> guard(g_logs[slot].lock);
        if (!g_logs[slot].result_file) return;
        result_write(g_logs[slot], fmt("FINDHEX:%s\n", path));
        std::fflush(g_logs[slot].result_file);
    }

    void attach_image_line(int slot, int index, std::string_view text, const std::string& image_path) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return;
        JobLog& log = g_logs[slot];
        LogLine changed;
        {
            std::lock_guard<std::mutex> guard(log.lock);
            if (log.result_file) {
                result_write(log, fmt("FINDIMAGE:%s\n", text));
                result_write(log, fmt("FINDHEX:%s\n", image_path));
                std::fflush(log.result_file);
            }
            if (index < 0 || static_cast<size_t>(index) >= log.lines.size()) return;
            LogLine& line = log.lines[static_cast<size_t>(index)];
            line.kind = LineKind::Image;
            line.font_size = 150;
            line.colour = colour::kWhite;
            line.text = utf16_truncate(text, kLogLineChars);
            line.value = utf16_truncate(image_path, kLogLineChars);
            changed = line;
        }
        job_events()->log_line_changed(slot, index, changed);
    }

    void open_job_logs(int slot) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return;
        JobLog& log = g_logs[slot];
        std::lock_guard<std::mutex> guard(log.lock);
        close_file(log.html);
        log.html_enabled = false;
        if (js->log_folder.empty()) return;
        std::string path = path_join(js->log_folder, kHtmlFileName);
        if (!create_html_log(path)) return;  // HTML logging stays off for this job
        log.html = FileHandle::open(path, "ab").release();
        log.html_enabled = log.html != nullptr;
    }

    void close_job_logs(int slot) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return;
        JobLog& log = g_logs[slot];
        std::lock_guard<std::mutex> guard(log.lock);
        close_file(log.result_file);
        close_file(log.html);
        log.html_enabled = false;
    }

    void clear_job_log(int slot) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return;
        {
            std::lock_guard<std::mutex> guard(g_logs[slot].lock);
            g_logs[slot].lines.clear();
        }
        job_events()->log_cleared(slot);
    }

    std::vector<LogLine> job_log_lines(int slot) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return {};
        std::lock_guard<std::mutex> guard(g_logs[slot].lock);
        return g_logs[slot].lines;
    }

    std::string output_stem(int slot) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return {};
        uint64_t counter;
        {
            std::lock_guard<std::mutex> guard(g_logs[slot].lock);
            counter = g_logs[slot].line_counter;
        }
        const char* form = js->sub_base.empty() ? "%s\\R%010I64d" : "%s\\S%010I64d";
        return native_path(fmt(form, js->log_folder, counter));
    }

    bool keyword_lookup(int slot, std::string_view file_name, std::string_view keywords, std::string& value,
                        std::string* matched) override {
        return find_keyword(slot, file_name, keywords, value, matched);
    }

    bool html_log_open(int slot) override {
        JobLog* log = job_log_state(slot);
        if (!log) return false;
        std::lock_guard<std::mutex> guard(log->lock);
        return log->html_enabled;
    }

    bool reopen_html_log(int slot) override {
        JobSlot* js = writable_slot(slot);
        if (!js) return false;
        JobLog& log = g_logs[slot];
        std::lock_guard<std::mutex> guard(log.lock);
        if (log.html_enabled || js->log_folder.empty()) return false;
        const std::string path = path_join(js->log_folder, kHtmlFileName);
        if (!file_exists(path)) return false;  // a job that kept no HTML log gets none now
        close_file(log.html);
        log.html = FileHandle::open(path, "ab").release();
        log.html_enabled = log.html != nullptr;
        return log.html_enabled;
    }

    void reset_job_log(int slot) override {
        JobLog* log = job_log_state(slot);
        if (!log) return;
        std::lock_guard<std::mutex> guard(log->lock);
        close_file(log->result_file);
        close_file(log->html);
        log->html_enabled = false;
        log->lines.clear();
        log->line_counter = 0;
        log->forward_log_path.clear();
        log->forward_image_count = 0;
        log->console_pending = false;
    }
};

}  // namespace

JobLog* job_log_state(int slot) { return writable_slot(slot) ? &g_logs[slot] : nullptr; }

std::shared_ptr<JobLogWriter> make_job_log_writer() { return std::make_shared<JobLogFiles>(); }

}  // namespace tb
