// Arguments with characters outside any one code page reach the program
// intact: a script whose file name and init word carry them runs and prints
// them back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e_support.h"

namespace {

namespace fs = std::filesystem;

TEST(ProgramArguments, NonAsciiScriptNameAndWordsArriveIntact) {
    tb::test::TempFolder tmp("tamblor-args");
    const std::string name = "pr\xC3\xBC" "fung-\xE2\x82\xAC-\xE6\xB5\x8B.scpt";  // prüfung-€-测.scpt
    tb::test::write_crlf(fs::u8path(tmp.dir().string() + "/" + name),
                         "w = InitParam_Data( KeyWord:\"word\" );\nPrint( Output:\"word=\" + w );\n");
    const auto r = tb::test::run_tamblor(tmp.dir(), {"--sim", "SCRIPT:" + name, "word=gr\xC3\xBC\xC3\x9F"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("word=gr\xC3\xBC\xC3\x9F"), std::string::npos) << r.output;
}

}  // namespace
