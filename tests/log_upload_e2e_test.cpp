// End-to-end: LogUpload of the real program against real servers on this
// machine: a pyftpdlib FTP server receives the job's log folder byte for byte
// and an agent stand-in checks the 1020-byte notice field by field; a port
// where nothing listens gives the two red lines; a server that accepts and
// then says nothing times out, and a job cancelled while it waits ends
// within 2 s; the password shows nowhere. Linux only: the FTP server is a
// Python program, which a Windows build under wine cannot start.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/tcp_connection.h"
#include "tests/e2e_support.h"
#include "tests/ftp_server.h"
#include "tests/stamped_lines.h"
#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tb::test::eventually;
using tb::test::read_file;
using tb::test::FtpServer;
using tb::test::python_with_pyftpdlib;

constexpr const char* kUser = "uploader";
constexpr const char* kPassword = "Pw-9xQz7!k";

// The agent service: takes one request of up to 1020 bytes and answers "OK".
class AgentStandIn {
public:
    AgentStandIn() {
        std::string error;
        listener_ = tb::tcp_listen_loopback(error);
        if (listener_) thread_ = std::thread([this] { serve(); });
    }
    ~AgentStandIn() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return listener_ ? listener_->port() : 0; }
    std::vector<uint8_t> request() {
        std::lock_guard<std::mutex> g(lock_);
        return request_;
    }
    bool answered() const { return answered_; }

private:
    void serve() {
        while (!stop_) {
            auto c = listener_->accept(200);
            if (!c) continue;
            std::vector<uint8_t> got;
            uint8_t piece[2048];
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (got.size() < 1020 && std::chrono::steady_clock::now() < until) {
                const int n = c->receive(piece, 200);
                if (n == 0) break;
                if (n > 0) got.insert(got.end(), piece, piece + n);
            }
            {
                std::lock_guard<std::mutex> g(lock_);
                request_ = got;
            }
            const uint8_t ok[] = {'O', 0, 'K', 0, 0, 0};
            c->send_all(ok);
            answered_ = true;
        }
    }
    std::unique_ptr<tb::TcpListener> listener_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> answered_{false};
    std::mutex lock_;
    std::vector<uint8_t> request_;
};

// Accepts connections and holds them without a word.
class StallingServer {
public:
    StallingServer() {
        std::string error;
        listener_ = tb::tcp_listen_loopback(error);
        if (listener_) thread_ = std::thread([this] {
            while (!stop_) {
                auto c = listener_->accept(200);
                if (c) held_.push_back(std::move(c));
            }
        });
    }
    ~StallingServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return listener_ ? listener_->port() : 0; }
    size_t accepted() const { return held_.size(); }

private:
    std::unique_ptr<tb::TcpListener> listener_;
    std::vector<std::unique_ptr<tb::TcpConnection>> held_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// A loopback port where nothing listens.
int closed_port() {
    std::string error;
    auto l = tb::tcp_listen_loopback(error);
    return l ? l->port() : 1;
}

std::string utf16le_text(const std::vector<uint8_t>& bytes, size_t from) {
    std::string out;
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) break;
        out += bytes[i + 1] == 0 && bytes[i] < 0x80 ? static_cast<char>(bytes[i]) : '?';
    }
    return out;
}

std::vector<fs::path> files_in(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file()) out.push_back(e.path());
    return out;
}

class LogUpload : public ::testing::Test {
protected:
    fs::path dir() const { return folder_.dir(); }

    void write_settings(int ftp_port, int agent_port, int timeout_sec) {
        std::ofstream(settings_path()) << "[LogServer]\r\nAddress = 127.0.0.1:" << ftp_port << "\r\nUser = " << kUser
                                       << "\r\nPassword = " << kPassword << "\r\nAgentHost = 127.0.0.1\r\nAgentPort = "
                                       << agent_port << "\r\nTimeoutSec = " << timeout_sec << "\r\n";
    }
    fs::path settings_path() const { return dir() / "LogServer.ini"; }

    tb::test::ProcessResult run(const std::string& script) {
        tb::test::write_crlf(dir() / "t.scpt", script);
        auto env = tb::test::temp_environment(dir());
        env["TAMBLOR_LOG_SERVER_INI"] = settings_path().string();
        return tb::test::run_tamblor(dir(), {"--sim", "SCRIPT:t.scpt"}, env);
    }

    // The password must show in no output and no file the job or the server kept.
    void expect_no_password(const std::string& output, const std::vector<fs::path>& folders) {
        EXPECT_EQ(output.find(kPassword), std::string::npos) << output;
        for (const fs::path& f : folders)
            for (const fs::path& file : files_in(f))
                EXPECT_EQ(read_file(file).find(kPassword), std::string::npos) << file;
    }

    tb::test::TempFolder folder_{"tamblor-logupload"};
};

TEST_F(LogUpload, TheLogFolderArrivesByteForByteAndTheAgentIsTold) {
    const std::string python = python_with_pyftpdlib();
    if (python.empty()) {
        if (tb::test::running_in_ci()) FAIL() << "no python3 with pyftpdlib";
        GTEST_SKIP() << "no python3 with pyftpdlib";
    }
    const fs::path root = dir() / "ftp-root";
    fs::create_directories(root);
    FtpServer ftp(python, root, dir() / "ftp.log", kUser, kPassword);
    ASSERT_NE(ftp.port(), 0) << ftp.log();
    AgentStandIn agent;
    ASSERT_NE(agent.port(), 0);
    write_settings(ftp.port(), agent.port(), 10);

    const tb::test::ProcessResult r = run(
        "// bytes beyond ASCII: \xC3\xA9\xE2\x82\xAC \x01\x7F\n"
        "Print( Output:\"BEFORE-UPLOAD\" );\n"
        "u = LogUpload( LogName:\"Smoke Run\", Param:\"p-one\", Param:\"\", Param:\"three\" );\n"
        "Print( Output:\"UPLOADED=\" + u );\n"
        "Print( Output:\"AFTER-UPLOAD\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("UPLOADED=1"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Open FTP Fail"), std::string::npos) << r.output;

    const fs::path local = tb::test::log_folder_of(r.output);
    ASSERT_FALSE(local.empty()) << r.output;
    std::vector<fs::path> dated;
    for (const auto& e : fs::directory_iterator(root / "TestLog")) dated.push_back(e.path());
    ASSERT_EQ(dated.size(), 1u);
    const std::string remote_name = dated[0].filename().string();
    EXPECT_TRUE(std::regex_match(remote_name, std::regex("20[0-9]{6}-[0-9]{6}_Smoke Run"))) << remote_name;

    // Every file of the log folder as it was at the upload; the HTML log was
    // closed whole for it and has grown since, the result and parameter
    // files are removed at the job's end.
    size_t compared = 0;
    for (const fs::path& remote : files_in(dated[0])) {
        const std::string name = remote.filename().string();
        const std::string sent = read_file(remote);
        if (name == "_Result.txt" || name == "_InitParam.txt") continue;
        ASSERT_TRUE(fs::exists(local / name)) << name;
        const std::string now = read_file(local / name);
        if (name == "TestLog.htm") {
            EXPECT_EQ(now.compare(0, sent.size(), sent), 0) << "the uploaded HTML log is not the start of the log";
            EXPECT_NE(sent.find("BEFORE-UPLOAD"), std::string::npos);
            EXPECT_EQ(sent.find("AFTER-UPLOAD"), std::string::npos);
            EXPECT_NE(now.find("AFTER-UPLOAD"), std::string::npos) << "the HTML log was not reopened";
        } else {
            EXPECT_EQ(now, sent) << name;
        }
        ++compared;
    }
    for (const fs::path& file : files_in(local))
        EXPECT_TRUE(fs::exists(dated[0] / file.filename())) << "not uploaded: " << file.filename();
    EXPECT_GE(compared, 2u);  // the script's copy and the HTML log at least
    EXPECT_EQ(read_file(dated[0] / "t.scpt"), read_file(dir() / "t.scpt"));

    // The notice: 1020 bytes, code 64007, then the description, zero-filled.
    ASSERT_TRUE(eventually([&] { return agent.answered(); }, 5));
    const std::vector<uint8_t> req = agent.request();
    ASSERT_EQ(req.size(), 1020u);
    EXPECT_EQ(req[0] | req[1] << 8 | req[2] << 16 | req[3] << 24, 64007);
    const std::string text = utf16le_text(req, 4);
    const std::regex described("-t:([0-9]{4})-([0-9]{2})-([0-9]{2}) ([0-9]{2}):([0-9]{2}):([0-9]{2}) "
                               " -l:/TestLog/([^/]+)/  -s:t  -n:Smoke Run  -p1:p-one  -p2:  -p3:three  -p4:  -p5: -end:");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, described)) << text;
    EXPECT_EQ(m[7].str(), remote_name);
    EXPECT_EQ(remote_name.substr(0, 15), m[1].str() + m[2].str() + m[3].str() + "-" + m[4].str() + m[5].str() + m[6].str());
    for (size_t i = 4 + 2 * text.size(); i < req.size(); ++i) ASSERT_EQ(req[i], 0) << "byte " << i;

    expect_no_password(r.output, {local, dated[0]});
}

TEST_F(LogUpload, AServerThatCannotBeReachedGivesTheTwoRedLines) {
    write_settings(closed_port(), closed_port(), 5);
    const tb::test::ProcessResult r = run("u = LogUpload( LogName:\"Nowhere\" );\nPrint( Output:\"UPLOADED=\" + u );\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;  // no error raised
    const size_t fail = r.output.find("Open FTP Fail, Stop Upload. Please Use Command Sheet to Upload Again.");
    ASSERT_NE(fail, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("LogUpload(", fail), std::string::npos) << "no call echo after the failure line\n" << r.output;
    EXPECT_NE(r.output.find("UPLOADED=0"), std::string::npos) << r.output;
    const fs::path local = tb::test::log_folder_of(r.output);
    const std::string html = read_file(local / "TestLog.htm");
    const size_t red = html.find("#FF0000");
    ASSERT_NE(red, std::string::npos) << html;
    EXPECT_NE(html.find("Open&nbsp;FTP&nbsp;Fail", red), std::string::npos) << html;
    expect_no_password(r.output, {local});
}

TEST_F(LogUpload, AServerThatAcceptsAndStallsTimesOut) {
    StallingServer stall;
    ASSERT_NE(stall.port(), 0);
    write_settings(stall.port(), closed_port(), 2);
    const auto began = std::chrono::steady_clock::now();
    const tb::test::ProcessResult r = run("LogUpload( LogName:\"Stalled\" );\nPrint( Output:\"GONE-ON\" );\n");
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_GE(stall.accepted(), 1u);
    EXPECT_NE(r.output.find("Open FTP Fail, Stop Upload."), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("GONE-ON"), std::string::npos) << r.output;
    EXPECT_LT(took, 20.0) << r.output;
}

TEST_F(LogUpload, AJobCancelledWhileTheServerStallsEndsWithinTwoSeconds) {
    StallingServer stall;
    ASSERT_NE(stall.port(), 0);
    write_settings(stall.port(), closed_port(), 120);
    tb::test::write_crlf(dir() / "t.scpt", "Print( Output:\"UPLOADING\" );\nLogUpload( LogName:\"Cancelled\" );\n");
    const fs::path out = dir() / "run.out";
    tb::ChildOptions o;
    o.work_folder = dir().string();
    o.output_file = out.string();
    o.no_input = true;
    o.end_with_parent = true;
    o.environment = {"TMPDIR=" + dir().string(), "TAMBLOR_LOG_SERVER_INI=" + settings_path().string()};
    tb::ChildProcess job;
    ASSERT_TRUE(job.start({TAMBLOR_BINARY, "--sim", "SCRIPT:t.scpt"}, o));
    ASSERT_TRUE(eventually([&] { return read_file(out).find("UPLOADING") != std::string::npos; }, 30)) << read_file(out);
    ASSERT_TRUE(eventually([&] { return stall.accepted() >= 1; }, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto asked = std::chrono::steady_clock::now();
    job.end(10000);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    EXPECT_LT(took, 2.0) << read_file(out);
    EXPECT_NE(read_file(out).find("---- Cancel Job ----"), std::string::npos) << read_file(out);
}

TEST_F(LogUpload, ALogNameThatIsNoFolderNameIsRefused) {
    write_settings(closed_port(), closed_port(), 1);
    const tb::test::ProcessResult r = run("SetErrorSkip( Count:9 );\n"
                                          "LogUpload( LogName:\"a/b\" );\n"
                                          "LogUpload( LogName:\"..\\\\up\" );\n"
                                          "LogUpload( LogName:\"\" );\n"
                                          "c = GetErrorCount( Show:FALSE );\nPrint( Output:\"ERRORS=\" + c );\n");
    EXPECT_NE(r.output.find("ERRORS=3"), std::string::npos) << r.output;
    size_t refused = 0;  // -2 each time
    for (size_t at = r.output.find("0xFFFFFFFE"); at != std::string::npos; at = r.output.find("0xFFFFFFFE", at + 1))
        ++refused;
    EXPECT_EQ(refused, 3u) << r.output;
    EXPECT_EQ(r.output.find("Open FTP Fail"), std::string::npos) << r.output;
}

TEST_F(LogUpload, WithoutALogServerNothingIsUploaded) {
    std::ofstream(settings_path()) << "[LogServer]\r\nUser = x\r\n";
    const tb::test::ProcessResult r = run("u = LogUpload( LogName:\"Quiet\" );\nPrint( Output:\"UPLOADED=\" + u );\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("no log server is set"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("UPLOADED=0"), std::string::npos) << r.output;
}

}  // namespace
