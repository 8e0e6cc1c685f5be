// The program's own help: `tamblor --help` without a help file prints the
// built-in usage and succeeds; `tamblor-pack --help` prints its usage with a
// worked example, and the example works as printed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

tb::test::ProcessResult pack_help() {
    tb::test::ProcessSpec spec;
    spec.program = TAMBLOR_PACK_BINARY;
    spec.args = {"--help"};
    return tb::test::run_process(spec);
}

TEST(Help, WithoutAHelpFileTheBuiltInUsageIsPrinted) {
    tb::test::TempFolder tmp("tamblor-help");
    const auto r = tb::test::run_tamblor(tmp.dir(), {"--help"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    for (const char* part : {"--sim=machine.ini", "--linux", "--list", "SCRIPT:\"", "##### SCRIPT LOG",
                             "Identify( Items:", "Exit codes", "130 / 143"})
        EXPECT_NE(r.output.find(part), std::string::npos) << part << "\n" << r.output;
}

TEST(Help, PackToolHelpSucceedsWithAnExample) {
    const auto r = pack_help();
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("--out"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Example:"), std::string::npos) << r.output;
}

#ifndef _WIN32
// The example is a POSIX shell session.
TEST(Help, PackToolHelpExampleWorksAsPrinted) {
    const auto r = pack_help();
    ASSERT_NE(r.output.find("Example:"), std::string::npos) << r.output;

    // Run the example's lines as printed, with this build's programs.
    tb::test::TempFolder tmp("tamblor-help");
    const std::string dir = tmp.dir().string();
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
    const auto example = tb::test::run_shell("cd '" + dir + "' && export TMPDIR='" + dir + "' && ln -s '" TAMBLOR_SOURCE_DIR
                                             "/examples' examples && mkdir build && ln -s '" TAMBLOR_BINARY
                                             "' build/tamblor && PATH='" + pack_dir + "':$PATH && " + script);
    EXPECT_EQ(example.exit_code, 0) << script << "\n" << example.output;
    EXPECT_NE(example.output.find("script.encode"), std::string::npos) << example.output;
    EXPECT_NE(example.output.find("##### SCRIPT LOG"), std::string::npos) << example.output;
}
#endif

}  // namespace
