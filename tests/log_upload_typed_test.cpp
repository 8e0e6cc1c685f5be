// LogUpload typed by the user into the command line asks which folder to
// send and names the upload after the first script in it; called from a
// script it sends the job's log folder without asking. The transfers are
// recorded by a stand-in for the system's FTP client.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "exttools/upload_source.h"
#include "platform/file_transfer.h"
#include "platform/paths.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/run_job.h"
#include "tests/fake_dialogs.h"
#include "tests/scoped_environment.h"
#include "tests/test_support.h"

namespace {

using tb::test::write_file;

// Takes every transfer as done and remembers what was sent where.
class RecordingTransfer final : public tb::FileTransfer {
public:
    explicit RecordingTransfer(std::vector<std::pair<std::string, std::string>>* sent) : sent_(sent) {}
    tb::TransferResult make_folder(const tb::TransferServer&, const std::string&, const tb::TransferControl&) override {
        return {};
    }
    tb::TransferResult put(const tb::TransferServer&, const std::string& local, const std::string& remote,
                           const tb::TransferControl&) override {
        sent_->emplace_back(tb::path_file_name(local), remote);
        return {};
    }
    tb::TransferResult get(const tb::TransferServer&, const std::string&, const std::string&,
                           const tb::TransferControl&) override {
        return {};
    }

private:
    std::vector<std::pair<std::string, std::string>>* sent_;
};

class TypedLogUpload : public ::testing::Test {
protected:
    void SetUp() override {
        slot_folder_ = tb::test::fresh_slot();
        const std::string ini = write_file(slot_folder_, "LogServer.ini",
                                           "[LogServer]\r\nAddress = ftp://127.0.0.1:1\r\nUser = u\r\n"
                                           "Password = p\r\nAgentHost = 127.0.0.1\r\nAgentPort = 1\r\n"
                                           "TimeoutSec = 1\r\n");
        settings_ = std::make_unique<tb::test::ScopedVariable>("TAMBLOR_LOG_SERVER_INI", ini);
        tb::set_file_transfer(std::make_unique<RecordingTransfer>(&sent_));
        chosen_ = slot_folder_ + "/earlier-run";
        std::filesystem::create_directories(tb::fs_path(chosen_));
        write_file(chosen_, "zeta.scpt", "x = 1;");
        write_file(chosen_, "burn-in.scp", "x = 2;");
        write_file(chosen_, "TestLog.htm", "<html>");
    }
    void TearDown() override { tb::set_file_transfer(nullptr); }

    bool logged(const std::string& part) const {
        for (const auto& line : tb::job_log_lines(0))
            if (line.text.find(part) != std::string::npos) return true;
        return false;
    }

    std::string slot_folder_;
    std::string chosen_;
    std::unique_ptr<tb::test::ScopedVariable> settings_;
    std::vector<std::pair<std::string, std::string>> sent_;
    tb::test::ScopedFakeDialogs dialogs_;
};

TEST_F(TypedLogUpload, AsksForTheFolderAndSendsItsFiles) {
    dialogs_->on_file = [&](const tb::FileRequest&) { return std::optional<std::string>(chosen_); };
    tb::run_single_command(0, "LogUpload( LogName:\"Typed Run\" );");
    ASSERT_EQ(dialogs_->files.size(), 1u);
    EXPECT_EQ(dialogs_->files[0].title, "Select Upload Folder");
    EXPECT_EQ(dialogs_->files[0].mode, tb::FileMode::Folder);
    ASSERT_EQ(sent_.size(), 3u);
    for (const auto& [name, remote] : sent_) {
        EXPECT_NE(remote.find("/TestLog/"), std::string::npos) << remote;
        EXPECT_NE(remote.find("_Typed Run/" + name), std::string::npos) << remote;
    }
    EXPECT_EQ(sent_[0].first, "TestLog.htm");
    EXPECT_FALSE(logged("Open FTP Fail")) << "the recorder took every file";
}

TEST_F(TypedLogUpload, ACancelledFolderQuestionEndsTheCommandQuietly) {
    tb::run_single_command(0, "LogUpload( LogName:\"Typed Run\" );");
    EXPECT_EQ(dialogs_->files.size(), 1u);
    EXPECT_TRUE(sent_.empty());
    EXPECT_FALSE(logged("Open FTP Fail"));
    EXPECT_EQ(tb::job_slot(0)->error_code, 0);
}

TEST_F(TypedLogUpload, FromAScriptTheJobsLogFolderGoesWithoutAQuestion) {
    write_file(slot_folder_, "from-the-job.txt", "job file");
    EXPECT_FALSE(tb::typed_by_user(0, "LogUpload"));
    tb::test::run("LogUpload( LogName:\"Scripted\" );");
    EXPECT_TRUE(dialogs_->files.empty());
    bool job_file_sent = false;
    for (const auto& [name, remote] : sent_) job_file_sent |= name == "from-the-job.txt";
    EXPECT_TRUE(job_file_sent);
}

TEST(UploadScriptName, TheFirstScriptOfTheFolderByName) {
    const std::string folder = tb::test::fresh_slot() + "/scripts";
    std::filesystem::create_directories(tb::fs_path(folder));
    EXPECT_EQ(tb::first_script_name(folder), "");
    write_file(folder, "notes.txt", "");
    write_file(folder, "b-second.SCPT", "");
    EXPECT_EQ(tb::first_script_name(folder), "b-second");
    write_file(folder, "a-first.scp", "");
    EXPECT_EQ(tb::first_script_name(folder), "a-first");
    std::filesystem::create_directories(tb::fs_path(folder + "/0-folder.scp"));
    EXPECT_EQ(tb::first_script_name(folder), "a-first");
}

}  // namespace
