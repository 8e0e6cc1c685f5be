// The bytes and texts an upload hands to the log server's agent service and
// the names it gives the remote folder, exactly; and the deployment settings
// as the upload reads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "exttools/agent_request.h"
#include "exttools/upload_naming.h"
#include "exttools/upload_settings.h"
#include "tests/temp_dir.h"

namespace {

using namespace tb;

UploadNaming sample_naming() {
    UploadNaming n;
    n.when.tm_year = 2026 - 1900;
    n.when.tm_mon = 11;  // December
    n.when.tm_mday = 9;
    n.when.tm_hour = 7;
    n.when.tm_min = 5;
    n.when.tm_sec = 3;
    n.log_name = "Burn In";
    n.script_name = "smoke";
    n.params = {"A1", "", "c", "", "E5"};
    return n;
}

std::vector<uint8_t> utf16le(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

TEST(LogUploadNaming, RemoteFolderIsDatedUnderTheBaseFolder) {
    EXPECT_EQ(upload_remote_folder(sample_naming()), "/TestLog/20261209-070503_Burn In/");
    UploadNaming n = sample_naming();
    n.base_folder = "/lab/logs";
    EXPECT_EQ(upload_remote_folder(n), "/lab/logs/20261209-070503_Burn In/");
}

TEST(LogUploadNaming, DescriptionAppendsEveryPartEmptyParametersIncluded) {
    EXPECT_EQ(upload_description(sample_naming()),
              "-t:2026-12-09 07:05:03  -l:/TestLog/20261209-070503_Burn In/  -s:smoke  -n:Burn In "
              " -p1:A1  -p2:  -p3:c  -p4:  -p5:E5 -end:");
}

TEST(LogUploadAgentRequest, HoldsTheCodeThenTheTextZeroFilled) {
    const std::string text = upload_description(sample_naming());
    const AgentRequest r = agent_upload_request(text);
    ASSERT_EQ(r.size(), 1020u);
    // 64007 = 0x0000FA07, little-endian.
    EXPECT_EQ(r[0], 0x07);
    EXPECT_EQ(r[1], 0xFA);
    EXPECT_EQ(r[2], 0x00);
    EXPECT_EQ(r[3], 0x00);
    const std::vector<uint8_t> body = utf16le(u"-t:2026-12-09 07:05:03  -l:/TestLog/20261209-070503_Burn In/  -s:smoke"
                                              u"  -n:Burn In  -p1:A1  -p2:  -p3:c  -p4:  -p5:E5 -end:");
    ASSERT_LT(4 + body.size(), r.size());
    EXPECT_TRUE(std::equal(body.begin(), body.end(), r.begin() + 4));
    for (size_t i = 4 + body.size(); i < r.size(); ++i) ASSERT_EQ(r[i], 0) << "byte " << i;
}

TEST(LogUploadAgentRequest, ALongDescriptionIsCutAndStaysTerminated) {
    const std::string text(2000, 'x');
    const AgentRequest r = agent_upload_request(text);
    EXPECT_EQ(kAgentDescriptionUnits, 507u);
    for (size_t u = 0; u < kAgentDescriptionUnits; ++u) {
        ASSERT_EQ(r[4 + 2 * u], 'x') << "unit " << u;
        ASSERT_EQ(r[5 + 2 * u], 0) << "unit " << u;
    }
    EXPECT_EQ(r[1018], 0);
    EXPECT_EQ(r[1019], 0);
}

TEST(LogUploadAgentRequest, NonAsciiTextIsUtf16AndNeverCutInsideAPair) {
    // U+1F600 is a surrogate pair; 507 units leave room for 253 pairs and one unit.
    std::string text;
    for (int i = 0; i < 300; ++i) text += "\xF0\x9F\x98\x80";
    const AgentRequest r = agent_upload_request(text);
    EXPECT_EQ(r[4], 0x3D);  // D83D
    EXPECT_EQ(r[5], 0xD8);
    EXPECT_EQ(r[6], 0x00);  // DE00
    EXPECT_EQ(r[7], 0xDE);
    const size_t last_unit = 4 + 2 * 506;  // would hold a lone high surrogate
    EXPECT_EQ(r[last_unit], 0);
    EXPECT_EQ(r[last_unit + 1], 0);
}

TEST(LogUploadAgentRequest, ReplyTextAndRefusal) {
    const std::vector<uint8_t> refusal = utf16le(u"-1");
    EXPECT_EQ(agent_reply_text(refusal), "-1");
    EXPECT_TRUE(agent_refused(agent_reply_text(refusal)));
    std::vector<uint8_t> ok = utf16le(u"OK");
    ok.push_back(0);
    ok.push_back(0);
    ok.push_back('z');  // after the terminator, and an odd byte
    EXPECT_EQ(agent_reply_text(ok), "OK");
    EXPECT_FALSE(agent_refused("OK"));
    EXPECT_FALSE(agent_refused("-10"));
}

TEST(LogUploadSettings, AddressForms) {
    EXPECT_EQ(log_server_url("10.0.0.5"), "ftp://10.0.0.5");
    EXPECT_EQ(log_server_url("FTPS://logs.lab:990"), "ftps://logs.lab:990");
    EXPECT_EQ(log_server_url(" sftp://logs.lab "), "sftp://logs.lab");
    EXPECT_EQ(log_server_url(""), "");
    EXPECT_EQ(log_server_host("ftp://logs.lab:2121/x"), "logs.lab");
    EXPECT_EQ(log_server_host("10.0.0.5:21"), "10.0.0.5");
    EXPECT_EQ(log_server_host("sftp://[::1]:22"), "::1");
}

TEST(LogUploadSettings, KeysAndDefaults) {
    test::TempFolder dir("log-upload-settings");
    const std::string path = (dir.dir() / "LogServer.ini").string();
    std::ofstream(path, std::ios::binary) << "[LogServer]\r\nAddress = 127.0.0.1:2121\r\nUser = uploader\r\nPassword = p@ss word\r\n"
                           "TimeoutSec = 3\r\nFolder = /lab/\r\n";
    LogServerSettings s = read_log_server_settings(path);
    EXPECT_TRUE(s.configured());
    EXPECT_EQ(s.server.url, "ftp://127.0.0.1:2121");
    EXPECT_EQ(s.server.user, "uploader");
    EXPECT_EQ(s.server.password, "p@ss word");
    EXPECT_EQ(s.server.timeout_ms, 3000);
    EXPECT_EQ(s.base_folder, "/lab");
    EXPECT_EQ(s.agent.host, "127.0.0.1");
    EXPECT_EQ(s.agent.port, 1224);

    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[LogServer]\r\nAddress=sftp://logs.lab\nAgentHost=agent.lab\n"
                                            "AgentPort=99999\nTimeoutSec=-4\r\n";
    s = read_log_server_settings(path);
    EXPECT_EQ(s.server.url, "sftp://logs.lab");
    EXPECT_EQ(s.base_folder, "/TestLog");
    EXPECT_EQ(s.agent.host, "agent.lab");
    EXPECT_EQ(s.agent.port, 1224);          // out of range: the default
    EXPECT_EQ(s.server.timeout_ms, 10000);  // out of range: the default

    // Lines ended CR CR LF, as a text-mode writer on Windows leaves them: no CR in any value.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[LogServer]\r\r\nAddress = h\r\r\n"
                                                                "Password = pw\r\r\nFolder = /up\r\r\n";
    s = read_log_server_settings(path);
    EXPECT_EQ(s.server.url, "ftp://h");
    EXPECT_EQ(s.server.password, "pw");
    EXPECT_EQ(s.base_folder, "/up");

    EXPECT_FALSE(read_log_server_settings((dir.dir() / "none.ini").string()).configured());
}

}  // namespace
