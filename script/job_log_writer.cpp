#include "script/job_log_writer.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace tb {

namespace {

// Stands in while no writer is installed: a program that forgot to install
// one must not look as if it logged, so the first refused call says so.
class NoWriterInstalled final : public JobLogWriter {
public:
    int write_line(int, std::string_view, LineFormat, int, uint32_t, LineKind, std::string_view) override {
        complain();
        return -1;
    }
    void rewrite_line(int, int, std::string_view) override { complain(); }
    void attach_data_file(int, uint32_t, const std::string&, bool) override { complain(); }
    void attach_image_line(int, int, std::string_view, const std::string&) override { complain(); }
    bool keyword_lookup(int, std::string_view, std::string_view, std::string&, std::string*) override {
        complain();
        return false;
    }
    void open_job_logs(int) override { complain(); }
    void close_job_logs(int) override {}
    bool html_log_open(int) override { return false; }
    void clear_job_log(int) override {}
    std::vector<LogLine> job_log_lines(int) override { return {}; }
    std::string output_stem(int) override {
        complain();
        return {};
    }
    void reset_job_log(int) override {}

private:
    void complain() {
        if (!complained_.exchange(true))
            std::fputs("tamblor: no job-log writer is installed; job-log lines are dropped\n", stderr);
    }
    std::atomic<bool> complained_{false};
};

std::mutex g_lock;
std::shared_ptr<JobLogWriter> g_installed;

}  // namespace

std::shared_ptr<JobLogWriter> install_job_log_writer(std::shared_ptr<JobLogWriter> writer) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_installed.swap(writer);
    return writer;
}

std::shared_ptr<JobLogWriter> job_log_writer() {
    static const std::shared_ptr<JobLogWriter> none = std::make_shared<NoWriterInstalled>();
    std::lock_guard<std::mutex> guard(g_lock);
    return g_installed ? g_installed : none;
}

int write_line(int slot, std::string_view text, LineFormat format, int font_size, uint32_t line_colour,
               LineKind kind, std::string_view value) {
    return job_log_writer()->write_line(slot, text, format, font_size, line_colour, kind, value);
}

void rewrite_line(int slot, int index, std::string_view text) { job_log_writer()->rewrite_line(slot, index, text); }

void attach_data_file(int slot, uint32_t line_colour, const std::string& path, bool show) {
    job_log_writer()->attach_data_file(slot, line_colour, path, show);
}

void attach_image_line(int slot, int index, std::string_view text, const std::string& image_path) {
    job_log_writer()->attach_image_line(slot, index, text, image_path);
}

bool keyword_lookup(int slot, std::string_view file_name, std::string_view keywords, std::string& value,
                    std::string* matched) {
    return job_log_writer()->keyword_lookup(slot, file_name, keywords, value, matched);
}

void open_job_logs(int slot) { job_log_writer()->open_job_logs(slot); }
void close_job_logs(int slot) { job_log_writer()->close_job_logs(slot); }
bool html_log_open(int slot) { return job_log_writer()->html_log_open(slot); }
bool reopen_html_log(int slot) { return job_log_writer()->reopen_html_log(slot); }
void clear_job_log(int slot) { job_log_writer()->clear_job_log(slot); }
std::vector<LogLine> job_log_lines(int slot) { return job_log_writer()->job_log_lines(slot); }
std::string output_stem(int slot) { return job_log_writer()->output_stem(slot); }
void reset_job_log(int slot) { job_log_writer()->reset_job_log(slot); }

}  // namespace tb
