// The file jobs of File_Write and File_Read inside the program: their
// numbers and "_FThread" states while they run and after, a stop at the
// job's end and on cancel, a failure raised on the job's own thread, and
// File_Delete's confirmation. The writes go to volumes of the test's own
// whose writes it holds back, so "running" is a state the test controls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "files/file_jobs.h"
#include "files/file_read_job.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "script/app_context.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/job_tasks.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

// Holds every write until opened; counts them; fails the write numbered
// `fail_at` (from 0) when set.
struct WriteGate {
    std::mutex lock;
    std::condition_variable changed;
    bool open = false;
    std::atomic<int> writes{0};
    std::chrono::milliseconds pause{0};
    int fail_at = -1;

    void let_through() {
        {
            std::lock_guard hold(lock);
            open = true;
        }
        changed.notify_all();
    }
    bool pass() {
        std::unique_lock hold(lock);
        changed.wait(hold, [this] { return open; });
        hold.unlock();
        if (pause.count()) std::this_thread::sleep_for(pause);
        return writes++ != fail_at;
    }
};

class GatedFile final : public NewFile {
public:
    GatedFile(WriteGate& gate, const std::string& path) : gate_(gate), out_(fs_path(path), std::ios::binary) {}
    bool write_at(uint64_t offset, std::span<const uint8_t> bytes) override {
        if (!gate_.pass()) return false;
        out_.seekp(static_cast<std::streamoff>(offset));
        out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out_);
    }
    bool finish() override { return static_cast<bool>(out_.flush()); }

private:
    WriteGate& gate_;
    std::ofstream out_;
};

class GatedVolumes final : public Volumes {
public:
    explicit GatedVolumes(WriteGate& gate) : gate_(gate) {}
    std::string root_folder(const StorageAddress&) override { return {}; }
    uint64_t free_bytes(const std::string&) override { return 0; }
    std::unique_ptr<NewFile> create_file(const std::string& path) override {
        return std::make_unique<GatedFile>(gate_, path);
    }
    bool remove_file(const std::string& path) override { return fs::remove(fs_path(path)); }

private:
    WriteGate& gate_;
};

class FileCommandJobs : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot();
        app().jobs[0].running = true;
        set_volumes(std::make_unique<GatedVolumes>(gate_));
    }
    void TearDown() override {
        gate_.let_through();
        end_job_tasks(0);
        set_volumes(nullptr);
        app().jobs[0].running = false;
        app().jobs[0].cancel = false;
    }
    std::string file(const std::string& name) const { return path_join(folder_, name); }
    static int32_t error_code() { return job_slot(0)->error_code; }
    static uint32_t number_of(const std::string& variable) {
        return static_cast<uint32_t>(std::stoul(test::var(variable)));
    }
    static void wait_until_ended(uint32_t number) {
        for (int i = 0; i < 2000 && (file_job_state(number) == kFileWriteRunning ||
                                     file_job_state(number) == kFileReadRunning);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    static bool logged(const std::string& text) {
        for (const LogLine& line : job_log_lines(0))
            if (line.text.find(text) != std::string::npos) return true;
        return false;
    }

    WriteGate gate_;
    std::string folder_;
};

TEST_F(FileCommandJobs, AWriteNotWaitedForIs17WhileItRunsAnd31After) {
    test::run("J0 = File_Write( File:\"" + file("w.hex") + "\", DataLenMB:1, WaitFinish:FALSE );");
    ASSERT_EQ(error_code(), 0);
    const uint32_t job = number_of("J0");
    EXPECT_EQ(gate_.writes.load(), 0) << "the command returned before the data was written";
    test::run("S = File_JobState( JobID:J0 );");
    EXPECT_EQ(test::var("S"), "17");
    EXPECT_EQ(test::var(file_job_variable(job)), "17");
    gate_.let_through();
    wait_until_ended(job);
    test::run("S = File_JobState( JobID:J0 );");
    EXPECT_EQ(test::var("S"), "31");
    EXPECT_EQ(test::var(file_job_variable(job)), "31");
    EXPECT_EQ(fs::file_size(fs_path(file("w.hex"))), 1u << 20);
    EXPECT_TRUE(logged("Pattern     : 0x55AA33CC"));
    EXPECT_TRUE(logged("File Write : 100%"));
}

TEST_F(FileCommandJobs, EachJobHasANumberOfItsOwnAndAReadIs47WhenWaitedFor) {
    gate_.let_through();
    test::run("J0 = File_Write( File:\"" + file("a.hex") + "\", DataLenMB:2 );");
    test::run("J1 = File_Read( File:\"" + file("a.hex") + "\", OffsetByte:512 );");
    ASSERT_EQ(error_code(), 0);
    EXPECT_NE(test::var("J0"), test::var("J1"));
    EXPECT_EQ(test::var(file_job_variable(number_of("J0"))), "31");
    EXPECT_EQ(test::var(file_job_variable(number_of("J1"))), "47");
    test::run("S = File_JobState( JobID:J1 );");
    EXPECT_EQ(test::var("S"), "47");
    EXPECT_TRUE(logged("File Read : 100%"));
}

TEST_F(FileCommandJobs, TheEndOfTheJobStopsARunningWrite) {
    gate_.pause = std::chrono::milliseconds(5);
    gate_.let_through();
    test::run("J0 = File_Write( File:\"" + file("long.hex") + "\", DataLenMB:100000, WaitFinish:FALSE );");
    const uint32_t job = number_of("J0");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto before = std::chrono::steady_clock::now();
    end_job_tasks(0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(file_job_state(job), kFileWriteEnded);
    EXPECT_LT(gate_.writes.load(), 100000);
    EXPECT_TRUE(logged("---- Cancel Command ----"));
}

TEST_F(FileCommandJobs, ACancelEndsAWaitedWrite) {
    gate_.pause = std::chrono::milliseconds(5);
    gate_.let_through();
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        set_cancel(0);
    });
    test::run("J0 = File_Write( File:\"" + file("c.hex") + "\", DataLenMB:100000 );");
    stopper.join();
    EXPECT_EQ(test::var(file_job_variable(number_of("J0"))), "31");
    EXPECT_LT(gate_.writes.load(), 100000);
    EXPECT_TRUE(logged("---- Cancel Command ----"));
}

TEST_F(FileCommandJobs, AFailedBackgroundWriteIsRaisedByFileJobStateOnce) {
    gate_.fail_at = 1;
    gate_.let_through();
    test::run("SetErrorSkip( 5 );");
    test::run("J0 = File_Write( File:\"" + file("f.hex") + "\", DataLenMB:4, WaitFinish:FALSE );");
    EXPECT_EQ(test::var("_ErrorCount"), "0");
    wait_until_ended(number_of("J0"));
    test::run("S = File_JobState( JobID:J0 );");
    EXPECT_EQ(test::var("S"), "31");
    EXPECT_EQ(test::var("_ErrorCount"), "1");
    EXPECT_TRUE(logged("FFFFFFFC")) << "the error lines of -4";
    test::run("S = File_JobState( JobID:J0 );");
    EXPECT_EQ(test::var("_ErrorCount"), "1") << "raised once";
}

TEST_F(FileCommandJobs, AFailedWaitedWriteIsRaisedByFileWrite) {
    gate_.fail_at = 0;
    gate_.let_through();
    test::run("SetErrorSkip( 5 );");
    test::run("J0 = File_Write( File:\"" + file("g.hex") + "\", DataLenMB:2 );");
    EXPECT_EQ(test::var("_ErrorCount"), "1");
    EXPECT_TRUE(logged("FFFFFFFC")) << "the error lines of -4";
    EXPECT_EQ(test::var(file_job_variable(number_of("J0"))), "31");
}

TEST_F(FileCommandJobs, FileJobStateOfANumberNoJobHasIsAnError) {
    test::run("S = File_JobState( JobID:987654 );");
    EXPECT_EQ(error_code(), -25);
}

// A control whose started() runs the test's action: the job has opened its
// file and taken its size by then.
class ActingControl final : public FileJobControl {
public:
    explicit ActingControl(std::function<void()> act) : act_(std::move(act)) {}
    bool stop_requested() const override { return false; }
    void started() const override {
        if (act_) std::exchange(act_, nullptr)();
    }

private:
    mutable std::function<void()> act_;
};

TEST_F(FileCommandJobs, AFileThatShrinksUnderAReadEndsItWithAReadError) {
    const std::string path = file("shrinks.bin");
    std::ofstream(fs_path(path), std::ios::binary) << std::string(3u << 20, 'x');
    FileReadRequest request;
    request.path = path;
    request.dump_path = file("shrinks.Hex");
    ActingControl control([&] { fs::resize_file(fs_path(path), 1u << 20); });
    const FileJobOutcome outcome = run_file_read(request, control);
    EXPECT_EQ(outcome.code, -3);
    EXPECT_NE(outcome.detail.find("ended at offset 0x100000"), std::string::npos) << outcome.detail;
}

TEST_F(FileCommandJobs, AReadFromTheFileSizeOnIsRefusedByTheJobToo) {
    const std::string path = file("small.bin");
    std::ofstream(fs_path(path), std::ios::binary) << "0123456789";
    FileReadRequest request;
    request.path = path;
    request.offset = 10;
    ActingControl control(nullptr);
    const FileJobOutcome outcome = run_file_read(request, control);
    EXPECT_EQ(outcome.code, -255);
    EXPECT_EQ(outcome.detail, "Offset must < FileSize");
}

class FileCommandDelete : public FileCommandJobs {
protected:
    void make(const std::string& name) const { std::ofstream(fs_path(file(name))) << "x"; }
    bool exists(const std::string& name) const { return fs::exists(fs_path(file(name))); }
};

TEST_F(FileCommandDelete, NoOrACancelledBoxDeletesNothing) {
    make("a.hex");
    make("b.hex");
    test::ScopedFakeDialogs dialogs;
    for (int answer : {kAnswerNo, kAnswerCancel}) {
        dialogs->on_message = [answer](const MessageRequest&) { return answer; };
        test::run("N = File_Delete( File:\"" + file("*.hex") + "\" );");
        EXPECT_EQ(error_code(), 0);
        EXPECT_EQ(test::var("N"), "0");
        EXPECT_TRUE(exists("a.hex") && exists("b.hex"));
    }
    ASSERT_EQ(dialogs->messages.size(), 2u);
    EXPECT_EQ(dialogs->messages[0].text, "Do you want to delete File: \n" + file("*.hex") + "?");
    EXPECT_TRUE(logged("---- Cancel Command ----"));
}

TEST_F(FileCommandDelete, YesDeletesEveryMatchAndNoConfirmAsksNothing) {
    make("a.hex");
    make("b.hex");
    make("keep.txt");
    test::ScopedFakeDialogs dialogs;
    dialogs->on_message = [](const MessageRequest&) { return kAnswerYes; };
    test::run("N = File_Delete( File:\"" + file("*.HEX") + "\" );");
    EXPECT_EQ(test::var("N"), "2");
    EXPECT_FALSE(exists("a.hex") || exists("b.hex"));
    EXPECT_TRUE(exists("keep.txt"));
    test::run("N = File_Delete( File:\"" + file("keep.txt") + "\", ConfirmMsg:FALSE );");
    EXPECT_EQ(test::var("N"), "1");
    EXPECT_FALSE(exists("keep.txt"));
    EXPECT_EQ(dialogs->messages.size(), 1u);
}

TEST_F(FileCommandDelete, AFolderIsRefusedAndLeftAsItIs) {
    fs::create_directory(fs_path(file("sub")));
    make("sub/inner.hex");
    test::run("File_Delete( File:\"" + file("sub") + "\", ConfirmMsg:FALSE );");
    EXPECT_EQ(error_code(), -11);
    EXPECT_TRUE(exists("sub/inner.hex"));
}

}  // namespace
}  // namespace tb
