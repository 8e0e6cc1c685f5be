// The engine's side of the job log: a job writes, opens, closes and looks up
// its log only through the installed writer, and a program without one is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/wiring.h"
#include "disk/disk_record.h"
#include "platform/paths.h"
#include "script/interpreter.h"
#include "script/job_log_writer.h"
#include "script/target_path.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

namespace tb {
namespace {

struct WrittenLine {
    std::string text;
    LineFormat format;
    uint32_t colour;
    LineKind kind;
};

// Keeps what a job hands its log, and answers the lookups from its own lines.
class RecordingWriter final : public JobLogWriter {
public:
    explicit RecordingWriter(std::string folder) : folder_(std::move(folder)) {}

    int write_line(int, std::string_view text, LineFormat format, int, uint32_t line_colour, LineKind kind,
                   std::string_view) override {
        std::lock_guard<std::mutex> guard(lock_);
        written_.push_back({std::string(text), format, line_colour, kind});
        return static_cast<int>(written_.size() - 1);
    }
    void rewrite_line(int, int, std::string_view text) override { note("rewrite " + std::string(text)); }
    void attach_data_file(int, uint32_t, const std::string& path, bool) override { note("data " + path); }
    void attach_image_line(int, int, std::string_view, const std::string& path) override { note("image " + path); }
    bool keyword_lookup(int, std::string_view file_name, std::string_view keywords, std::string& value,
                        std::string*) override {
        note("lookup " + std::string(file_name) + " " + std::string(keywords));
        value = "from the recording writer";
        return true;
    }
    void open_job_logs(int) override { note("open"); }
    void close_job_logs(int) override { note("close"); }
    bool html_log_open(int) override { return false; }
    void clear_job_log(int) override { note("clear"); }
    std::vector<LogLine> job_log_lines(int) override { return {}; }
    std::string output_stem(int) override { return path_join(folder_, "stem"); }
    void reset_job_log(int) override { note("reset"); }

    std::vector<WrittenLine> written() {
        std::lock_guard<std::mutex> guard(lock_);
        return written_;
    }
    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }
    const WrittenLine* find(const std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        for (const WrittenLine& l : written_)
            if (l.text == text) return &l;
        return nullptr;
    }

private:
    void note(std::string call) {
        std::lock_guard<std::mutex> guard(lock_);
        calls_.push_back(std::move(call));
    }

    std::string folder_;
    std::mutex lock_;
    std::vector<WrittenLine> written_;
    std::vector<std::string> calls_;
};

class RecordingWriterInstalled : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot();
        writer_ = std::make_shared<RecordingWriter>(folder_);
        before_ = install_job_log_writer(writer_);
    }
    void TearDown() override {
        install_job_log_writer(before_);
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    std::string folder_;
    std::shared_ptr<RecordingWriter> writer_;
    std::shared_ptr<JobLogWriter> before_;
};

TEST_F(RecordingWriterInstalled, AJobsLinesReachTheInstalledWriterAndNotTheProgramsLog) {
    const int code = test::run_script_text(
        "Print( Output:\"through the seam\" );\r\n"
        "Print( LeftAlign:TRUE, Output:\"left\" );\r\n");
    EXPECT_EQ(code, 0);

    const WrittenLine* printed = writer_->find("through the seam");
    ASSERT_NE(printed, nullptr);
    EXPECT_EQ(printed->format, LineFormat::Normal);
    EXPECT_EQ(printed->colour, colour::kYellow);
    EXPECT_EQ(printed->kind, LineKind::Text);
    const WrittenLine* left = writer_->find("left");
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->format, LineFormat::LeftAligned);

    // A console run writes no banners: the two lines are all there is.
    EXPECT_EQ(writer_->written().size(), 2u);

    // The job opened its logs at the start and closed them at its end.
    const std::vector<std::string> calls = writer_->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "open");
    EXPECT_EQ(calls.back(), "close");

    // The program's own job log saw nothing of it.
    EXPECT_TRUE(job_log_state(0)->lines.empty());
    EXPECT_FALSE(std::filesystem::exists(path_join(folder_, "_Result.txt")));
    EXPECT_FALSE(std::filesystem::exists(path_join(folder_, "TestLog.htm")));
}

TEST_F(RecordingWriterInstalled, TheEngineLooksKeywordsUpThroughTheWriter) {
    test::write_file(folder_, "_InitParam.txt", "");
    ASSERT_EQ(test::run("v = InitParam_Data( KeyWord:\"Speed\", ShowResult:FALSE, CovertType:\"String\" );"), kDone);
    EXPECT_EQ(test::var("v"), "from the recording writer");
    const std::vector<std::string> calls = writer_->calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "lookup _InitParam.txt Speed"), calls.end());
}

TEST(JobLogWriterMissing, LinesAreRefusedAndTheProgramIsTold) {
    std::shared_ptr<JobLogWriter> before = install_job_log_writer(nullptr);
    ::testing::internal::CaptureStderr();
    const int first = write_line(0, "nowhere to go");
    const int second = log_text(0, "nor this");
    const std::string told = ::testing::internal::GetCapturedStderr();
    install_job_log_writer(before);

    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, -1);
    EXPECT_NE(told.find("no job-log writer is installed"), std::string::npos) << told;
}

TEST(TargetPathSeam, TheWiringHandsTheEngineTheDiskLayersCurrentTarget) {
    install_job_seams();
    const DiskRecord saved = current_target();
    current_target().physical_path = "\\\\.\\PHYSICALDRIVE7";
    EXPECT_EQ(current_target_path(), "\\\\.\\PHYSICALDRIVE7");
    current_target().physical_path.clear();
    EXPECT_EQ(current_target_path(), "");
    current_target() = saved;
}

}  // namespace
}  // namespace tb
