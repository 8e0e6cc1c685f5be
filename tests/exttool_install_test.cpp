// Installing a missing tool: the package fetched through the transfer seam
// with one progress line rewritten in place, a zip unpacked into the
// download folder, the installer run there, the folder removed; an archive
// naming entries outside its folder is refused with nothing written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/zip_archive.h"
#include "exttools/download_source.h"
#include "exttools/tool_install.h"
#include "exttools/tool_list.h"
#include "exttools/upload_settings.h"
#include "platform/file_transfer.h"
#include "platform/host/temp_folder.h"
#include "platform/process_identity.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "tests/scoped_environment.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

// Serves files of a local folder as the log server would, in three steps.
class FolderServer final : public tb::DownloadSource {
public:
    explicit FolderServer(fs::path root) : root_(std::move(root)) {}
    bool fetch(const std::string& remote, const std::string& local, const tb::DownloadProgress& progress,
             const tb::DownloadCancel&, std::string& problem) override {
        requested = remote;
        std::ifstream in(root_ / fs::path(remote).filename(), std::ios::binary);
        if (!in) {
            problem = "no such file";
            return false;
        }
        const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream out(local, std::ios::binary);
        for (size_t part = 1; part <= 3; ++part) {
            const size_t from = data.size() * (part - 1) / 3, to = data.size() * part / 3;
            out.write(data.data() + from, static_cast<std::streamsize>(to - from));
            progress(to, data.size());
        }
        return true;
    }
    std::string requested;

private:
    fs::path root_;
};

class ExtToolInstall : public ::testing::Test {
protected:
    void SetUp() override {
        tb::test::fresh_slot();
        fs::create_directories(server_dir());
        auto server = std::make_unique<FolderServer>(server_dir());
        server_ = server.get();
        tb::set_download_source(std::move(server));
    }
    void TearDown() override { tb::set_download_source(nullptr); }
    fs::path server_dir() const { return folder_.dir() / "server"; }
    fs::path download_dir() const {
        return tb::host::temp_folder() / ("_DownloadInstall_" + std::to_string(tb::current_process_id()));
    }
    void serve(const std::string& name, const tb::ZipWriter& zip) const {
        std::ofstream(server_dir() / name, std::ios::binary) << zip.finish();
    }
    tb::ToolSection tool(const std::string& download) const {
        tb::ToolSection t;
        t.name = "Bench";
        t.base_folder = folder_.dir().string();
        t.check_file = "installed.flag";
        t.download = download;
        return t;
    }
    bool logged(const std::string& text) const {
        for (const auto& line : tb::job_log_lines(0))
            if (line.text == text) return true;
        return false;
    }
    tb::test::TempFolder folder_{"tamblor-install"};
    FolderServer* server_ = nullptr;
};

TEST_F(ExtToolInstall, AMissingToolIsFetchedUnpackedAndInstalled) {
    tb::ZipWriter zip;
    ASSERT_TRUE(zip.add("setup.sh", "#!/bin/sh\ntouch \"$1\"\n", tb::kZipDeflated, 0755));
    serve("bench.zip", zip);
    const tb::ToolSection t = tool("/pub/tools/bench.zip#setup.sh " + (folder_.dir() / "installed.flag").string());
    EXPECT_FALSE(tb::tool_installed(t));
    ASSERT_TRUE(tb::ensure_tool_installed(0, t)) << tb::job_slot(0)->error_text;
    EXPECT_EQ(server_->requested, "/pub/tools/bench.zip");
    EXPECT_TRUE(tb::tool_installed(t));
    EXPECT_TRUE(logged("Download bench.zip - 100%"));
    EXPECT_FALSE(logged("Download bench.zip - 0%"));  // the same line was rewritten
    EXPECT_FALSE(fs::exists(download_dir()));
    // Installed now: nothing is fetched again.
    server_->requested.clear();
    EXPECT_TRUE(tb::ensure_tool_installed(0, t));
    EXPECT_TRUE(server_->requested.empty());
}

TEST_F(ExtToolInstall, AnArchiveWithEntriesOutsideItsFolderIsRefused) {
    tb::ZipWriter zip;
    ASSERT_TRUE(zip.add("setup.sh", "#!/bin/sh\ntouch \"$1\"\n", tb::kZipDeflated, 0755));
    ASSERT_TRUE(zip.add("../../escaped.txt", "bad"));
    serve("evil.zip", zip);
    const tb::ToolSection t = tool("/pub/evil.zip#setup.sh " + (folder_.dir() / "installed.flag").string());
    EXPECT_FALSE(tb::ensure_tool_installed(0, t));
    EXPECT_EQ(tb::job_slot(0)->error_code, -11);
    EXPECT_NE(tb::job_slot(0)->error_text.find("outside"), std::string::npos) << tb::job_slot(0)->error_text;
    EXPECT_FALSE(tb::tool_installed(t));
    EXPECT_FALSE(fs::exists(download_dir()));
    EXPECT_FALSE(fs::exists(download_dir().parent_path() / "escaped.txt"));
}

TEST_F(ExtToolInstall, AFailedDownloadOrAnInstallerThatInstallsNothingFails) {
    EXPECT_FALSE(tb::ensure_tool_installed(0, tool("/pub/absent.zip#setup.sh")));
    EXPECT_EQ(tb::job_slot(0)->error_code, -11);
    EXPECT_FALSE(tb::ensure_tool_installed(0, tool("no hash mark")));
    tb::ZipWriter zip;
    ASSERT_TRUE(zip.add("setup.sh", "#!/bin/sh\nexit 0\n", tb::kZipDeflated, 0755));
    serve("noop.zip", zip);
    EXPECT_FALSE(tb::ensure_tool_installed(0, tool("/pub/noop.zip#setup.sh")));
    EXPECT_NE(tb::job_slot(0)->error_text.find("installed.flag"), std::string::npos) << tb::job_slot(0)->error_text;
    EXPECT_FALSE(fs::exists(download_dir()));
}

}  // namespace

namespace {

// The transfer the deployed log server is reached through, as a recorder.
class RecordingTransfer final : public tb::FileTransfer {
public:
    tb::TransferResult make_folder(const tb::TransferServer&, const std::string&, const tb::TransferControl&) override {
        return {tb::TransferStatus::Refused, "not used"};
    }
    tb::TransferResult put(const tb::TransferServer&, const std::string&, const std::string&,
                           const tb::TransferControl&) override {
        return {tb::TransferStatus::Refused, "not used"};
    }
    tb::TransferResult get(const tb::TransferServer& server, const std::string& remote, const std::string& local,
                           const tb::TransferControl& control) override {
        url = server.url;
        user = server.user;
        path = remote;
        std::ofstream(local, std::ios::binary) << "data";
        control.progress(4, 4);
        return {};
    }
    std::string url, user, path;
};

TEST(ExtToolDownload, TheDefaultFetchesFromTheDeployedLogServer) {
    tb::test::TempFolder folder("tamblor-download");
    const fs::path ini = folder.dir() / "LogServer.ini";
    std::ofstream(ini, std::ios::binary) << "[LogServer]\nAddress=127.0.0.1:2121\nUser=installer\nPassword=secret\n";
    tb::test::ScopedVariable settings(tb::kLogServerIniVariable, ini.string());
    auto transfer = std::make_unique<RecordingTransfer>();
    RecordingTransfer* seen = transfer.get();
    tb::set_file_transfer(std::move(transfer));
    uint64_t done = 0;
    std::string problem;
    const bool ok = tb::download_source().fetch("/pub/tool.zip", (folder.dir() / "tool.zip").string(),
                                                [&](uint64_t d, uint64_t) { done = d; }, [] { return false; }, problem);
    const RecordingTransfer asked = *seen;
    tb::set_file_transfer(nullptr);
    EXPECT_TRUE(ok) << problem;
    EXPECT_EQ(asked.url, "ftp://127.0.0.1:2121");
    EXPECT_EQ(asked.user, "installer");
    EXPECT_EQ(asked.path, "/pub/tool.zip");
    EXPECT_EQ(done, 4u);
    EXPECT_TRUE(fs::exists(folder.dir() / "tool.zip"));
}

TEST(ExtToolDownload, WithoutALogServerTheFetchIsRefused) {
    tb::test::TempFolder folder("tamblor-download");
    const fs::path ini = folder.dir() / "LogServer.ini";
    std::ofstream(ini, std::ios::binary) << "[LogServer]\n";
    tb::test::ScopedVariable settings(tb::kLogServerIniVariable, ini.string());
    std::string problem;
    EXPECT_FALSE(tb::download_source().fetch("/pub/tool.zip", (folder.dir() / "tool.zip").string(), {},
                                             [] { return false; }, problem));
    EXPECT_NE(problem.find("/pub/tool.zip"), std::string::npos) << problem;
}

}  // namespace
