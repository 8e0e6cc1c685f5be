// End to end: a tool whose engine is missing is fetched from a real FTP
// server (pyftpdlib on this machine, named by LogServer.ini), unpacked from
// its zip, installed by the installer it carries, and then run as the
// external command; the engine's .INI, .TXT, .XML and .PNG results reach the
// console, the HTML log and the log folder. Linux only: the server is a
// Python program, which a Windows build under wine cannot start.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/zip_archive.h"
#include "tests/e2e_support.h"
#include "tests/ftp_server.h"

namespace {

namespace fs = std::filesystem;
using tb::test::read_file;

constexpr const char* kUser = "installer";
constexpr const char* kPassword = "In-5tall!w0rd";

std::string be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string png_chunk(const std::string& type, const std::string& body) {
    const std::string typed = type + body;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    return be32(static_cast<uint32_t>(body.size())) + typed + be32(static_cast<uint32_t>(crc));
}

// A grey picture of `width` x `height` pixels, 8-bit greyscale.
std::string grey_png(uint32_t width, uint32_t height) {
    std::string raw;
    for (uint32_t y = 0; y < height; ++y) raw += '\0' + std::string(width, '\x80');
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packed_size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(packed_size);
    const std::string header = be32(width) + be32(height) + std::string("\x08\x00\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + png_chunk("IHDR", header) + png_chunk("IDAT", packed) +
           png_chunk("IEND", "");
}

class ToolFromLogServer : public ::testing::Test {
protected:
    fs::path dir() const { return machine_.dir(); }

    // The package on the server: an installer that puts the engine where the
    // tool's launcher looks for it.
    void publish_package(const fs::path& root) const {
        tb::ZipWriter zip;
        ASSERT_TRUE(zip.add("setup.sh",
                            "#!/bin/sh\nset -e\nhere=$(dirname \"$0\")\nmkdir -p \"$1\"\n"
                            "cp \"$here/engine.sh\" \"$here/picture.png\" \"$1/\"\nchmod 755 \"$1/engine.sh\"\n",
                            tb::kZipDeflated, 0755));
        ASSERT_TRUE(zip.add("engine.sh",
                            "#!/bin/sh\nstem=\"$1\"\n"
                            "printf '[Result]\\nITEM0=Engine Read 512 MB/s\\nITEM1=Engine Write 480 MB/s\\n' > "
                            "\"$stem.INI\"\n"
                            "printf 'engine text line\\n' > \"$stem.TXT\"\n"
                            "printf '<Result>\\n  <EngineScore>777</EngineScore>\\n</Result>\\n' > \"$stem.XML\"\n"
                            "cp \"$(dirname \"$0\")/picture.png\" \"$stem.PNG\"\n",
                            tb::kZipDeflated, 0755));
        ASSERT_TRUE(zip.add("picture.png", grey_png(40, 300), tb::kZipStored, 0644));
        fs::create_directories(root / "pub" / "tools");
        std::ofstream(root / "pub" / "tools" / "engine.zip", std::ios::binary) << zip.finish();
    }

    void write_tool_files(int ftp_port) const {
        const fs::path engine_dir = dir() / "tools" / "engine";
        std::ofstream(dir() / "ExtCmd.ini", std::ios::binary)
            << "[Bench]\nEXE_PATH=tools/bench.sh\nPARAMETER=%Output%\nAPP_CHKEXIST=tools/engine/engine.sh\n"
            << "APP_DOWNLOAD=/pub/tools/engine.zip#setup.sh " << engine_dir.string() << "\n";
        fs::create_directories(dir() / "tools");
        const fs::path launcher = dir() / "tools" / "bench.sh";
        std::ofstream(launcher, std::ios::binary) << "#!/bin/sh\nexec \"$(dirname \"$0\")/engine/engine.sh\" \"$@\"\n";
        fs::permissions(launcher, fs::perms::owner_all);
        std::ofstream(dir() / "LogServer.ini", std::ios::binary)
            << "[LogServer]\r\nAddress = 127.0.0.1:" << ftp_port << "\r\nUser = " << kUser << "\r\nPassword = "
            << kPassword << "\r\nTimeoutSec = 10\r\n";
    }

    tb::test::ProcessResult run(const std::string& script) const {
        std::ofstream(dir() / "t.scpt", std::ios::binary | std::ios::trunc)
            << "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n" << script;
        auto env = tb::test::settings_store_environment(dir());
        env["TAMBLOR_LOG_SERVER_INI"] = (dir() / "LogServer.ini").string();
        return tb::test::run_tamblor(dir(), {"--sim=machine.ini", "SCRIPT:t.scpt"}, env);
    }

    tb::test::SimMachineFolder machine_{"tamblor-exttool-download",
                                        "[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 64MiB\n"};
};

TEST_F(ToolFromLogServer, AToolFetchedFromTheLogServerIsInstalledAndItsResultsReachTheLog) {
    const std::string python = tb::test::python_with_pyftpdlib();
    if (python.empty()) {
        if (tb::test::running_in_ci()) FAIL() << "no python3 with pyftpdlib";
        GTEST_SKIP() << "no python3 with pyftpdlib";
    }
    const fs::path root = dir() / "ftp-root";
    publish_package(root);
    tb::test::FtpServer ftp(python, root, dir() / "ftp.log", kUser, kPassword);
    ASSERT_NE(ftp.port(), 0) << ftp.log();
    write_tool_files(ftp.port());

    const tb::test::ProcessResult r = run("Bench( Parameter:\"%Output%\", WaitClose:TRUE );\n"
                                          "Bench( Parameter:\"%Output%\", WaitClose:TRUE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output << ftp.log();

    // Fetched once, by the installer account, with one progress line ending at 100 %.
    EXPECT_NE(ftp.log().find("/pub/tools/engine.zip completed=1"), std::string::npos) << ftp.log();
    EXPECT_EQ(ftp.log().find("RETR", ftp.log().find("RETR") + 1), std::string::npos) << "fetched twice";
    EXPECT_NE(r.output.find("Download engine.zip - 100%"), std::string::npos) << r.output;
    EXPECT_TRUE(fs::exists(dir() / "tools" / "engine" / "engine.sh"));
    for (const auto& entry : fs::directory_iterator(dir()))
        EXPECT_EQ(entry.path().filename().string().rfind("_DownloadInstall", 0), std::string::npos)
            << "the download folder was left: " << entry.path();

    // The engine's results, from both runs, in the console and the HTML log.
    size_t first = r.output.find("Engine Read 512 MB/s");
    ASSERT_NE(first, std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Engine Read 512 MB/s", first + 1), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("engine text line"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("EngineScore" + std::string(49, ' ') + " : 777"), std::string::npos) << r.output;
    const fs::path log = tb::test::log_folder_of(r.output);
    ASSERT_FALSE(log.empty()) << r.output;
    const std::string html = read_file(log / "TestLog.htm");
    EXPECT_NE(html.find("Engine&nbsp;Write&nbsp;480&nbsp;MB/s"), std::string::npos);
    EXPECT_NE(html.find("engine&nbsp;text&nbsp;line"), std::string::npos);
    EXPECT_NE(html.find("EngineScore"), std::string::npos);
    EXPECT_NE(html.find("<img border=0 src=\""), std::string::npos) << "the picture is not in the HTML log";
    EXPECT_EQ(tb::test::files_ending(log, ".PNG").size() + tb::test::files_ending(log, ".png").size() >= 2, true);
    EXPECT_EQ(r.output.find(kPassword), std::string::npos);
    EXPECT_EQ(html.find(kPassword), std::string::npos);
}

}  // namespace
