// The program's own help: `tamblor --help` without a help file prints the
// built-in usage and succeeds; `tamblor-pack --help` prints its usage with a
// worked example, and the example works as printed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

std::string make_tmpdir() {
    char tmpl[] = "/tmp/tamblor-help-XXXXXX";
    return ::mkdtemp(tmpl);
}

std::string in_dir(const std::string& dir, const std::string& command) {
    return "cd '" + dir + "' && TMPDIR='" + dir + "' " + command;
}

TEST(Help, WithoutAHelpFileTheBuiltInUsageIsPrinted) {
    const std::string dir = make_tmpdir();
    const auto r = tb::test::run_shell(in_dir(dir, "'" TAMBLOR_BINARY "' --help"));
    EXPECT_EQ(r.exit_code, 0) << r.output;
    for (const char* part : {"--sim=machine.ini", "--linux", "--list", "SCRIPT:\"", "##### SCRIPT LOG",
                             "Identify( Items:", "Exit codes", "130 / 143"})
        EXPECT_NE(r.output.find(part), std::string::npos) << part << "\n" << r.output;
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(Help, PackToolHelpSucceedsAndItsExampleWorks) {
    const auto r = tb::test::run_shell("'" TAMBLOR_PACK_BINARY "' --help");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    ASSERT_NE(r.output.find("Example:"), std::string::npos) << r.output;

    // Run the example's lines as printed, with this build's programs.
    const std::string dir = make_tmpdir();
    std::string script;
    size_t at = r.output.find("Example:");
    for (size_t line_end; (line_end = r.output.find('\n', at)) != std::string::npos; at = line_end + 1) {
        std::string line = r.output.substr(at, line_end - at);
        if (line.rfind("  ", 0) != 0) continue;
        line = line.substr(2, line.find("  #") == std::string::npos ? std::string::npos : line.find("  #") - 2);
        script += line + " &&\n";
    }
    script += "true";
    const std::string pack_dir = fs::path(TAMBLOR_PACK_BINARY).parent_path().string();
    const auto example = tb::test::run_shell(in_dir(dir, "ln -s '" TAMBLOR_SOURCE_DIR "/examples' examples && mkdir build && ln -s '" TAMBLOR_BINARY
                                                         "' build/tamblor && PATH='" + pack_dir + "':$PATH && " + script));
    EXPECT_EQ(example.exit_code, 0) << script << "\n" << example.output;
    EXPECT_NE(example.output.find("script.encode"), std::string::npos) << example.output;
    EXPECT_NE(example.output.find("##### SCRIPT LOG"), std::string::npos) << example.output;
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
