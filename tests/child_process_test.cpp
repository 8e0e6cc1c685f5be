// Child processes, the start-up registration store and the settings store,
// with real processes on every system: the test binary starts itself again
// (the hidden test ChildHelper.DISABLED_Role plays the role its environment
// names), so that what the child sees - its arguments, environment, folder
// and standard output - is checked from inside it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/format.h"
#include "platform/autostart.h"
#include "platform/child_environment.h"
#include "platform/child_process.h"
#include "platform/command_line_quote.h"
#include "platform/host/temp_folder.h"
#include "platform/paths.h"
#include "platform/process_identity.h"
#include "platform/system_settings.h"

using namespace tb;

namespace {

namespace fs = std::filesystem;

constexpr const char* kRoleVariable = "TAMBLOR_CHILD_ROLE";
constexpr const char* kValueVariable = "TAMBLOR_CHILD_VALUE";

// Arguments that a naive command line would split or mangle.
const std::vector<std::string> kAwkwardArguments = {"two words", "a \"quoted\" word", "trailing\\", "back\\\\slashes\\\"",
                                                    "", "tab\there"};

// Prints its value, its folder and its arguments after the test's own; ends with 7.
int describe_itself() {
    const char* value = std::getenv(kValueVariable);
    std::printf("value=[%s]\n", value ? value : "<unset>");
    std::printf("folder=[%s]\n", fs::current_path().string().c_str());
    const std::vector<std::string> argv = ::testing::internal::GetArgvs();
    for (size_t i = 3; i < argv.size(); ++i) std::printf("arg=[%s]\n", argv[i].c_str());
    std::fflush(stdout);
    return 7;
}

// Goes through the stores and reports the first step that failed (0: none).
int use_the_stores() {
    if (!set_autorun_value("AutoRunOnStartup", "\"C:\\x y\\tamblor.exe\" SCRIPT:\"a.scpt\"")) return 10;
    if (!set_autorun_value("Tamblor_Reboot1", "second")) return 11;
    if (get_autorun_value("AutoRunOnStartup") != "\"C:\\x y\\tamblor.exe\" SCRIPT:\"a.scpt\"") return 12;
    const auto values = autorun_values();
    if (values.size() != 2 || values[0].first != "AutoRunOnStartup" || values[1].second != "second") return 13;
    if (!remove_autorun_value("AutoRunOnStartup") || !get_autorun_value("AutoRunOnStartup").empty()) return 14;
    if (remove_autorun_value("AutoRunOnStartup")) return 15;  // already gone
    uint32_t value = 99;
    if (get_system_value("SYSTEM\\Test\\StorPort", "HmbAllocationPolicy", value) || value != 99) return 20;
    if (!set_system_value("SYSTEM\\Test\\StorPort", "HmbAllocationPolicy", 2)) return 21;
    if (!get_system_value("SYSTEM\\Test\\StorPort", "HmbAllocationPolicy", value) || value != 2) return 22;
    return 0;
}

int play(const std::string& role) {
    if (role == "describe") return describe_itself();
    if (role == "sleep") {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
    if (role == "stores") return use_the_stores();
    return 99;
}

std::vector<std::string> helper_argv() {
    return {program_path(), "--gtest_also_run_disabled_tests", "--gtest_filter=ChildHelper.DISABLED_Role"};
}

std::string read_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::erase(text, '\r');
    return text;
}

int folder_counter = 0;

class ChildStart : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = host::temp_folder() / fmt("tbchild%d_%d", static_cast<int>(current_process_id()), folder_counter++);
        fs::create_directories(folder_ / "work");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    ChildOptions options(const std::string& role) const {
        ChildOptions o;
        o.environment = {fmt("%s=%s", kRoleVariable, role)};
        o.output_file = (folder_ / "output.txt").string();
        o.no_input = true;
        o.end_with_parent = true;
        return o;
    }
    fs::path folder_;
};

}  // namespace

TEST(ChildHelper, DISABLED_Role) {
    const char* role = std::getenv(kRoleVariable);
    if (!role) GTEST_SKIP() << "started by the child process tests only";
    std::exit(play(role));
}

TEST_F(ChildStart, ChildSeesItsArgumentsEnvironmentAndFolder) {
    ChildOptions o = options("describe");
    o.work_folder = (folder_ / "work").string();
    o.environment.push_back(fmt("%s=a b \"c\" d\\", kValueVariable));
    std::vector<std::string> argv = helper_argv();
    argv.insert(argv.end(), kAwkwardArguments.begin(), kAwkwardArguments.end());
    ChildProcess child;
    ASSERT_TRUE(child.start(argv, o));
    ASSERT_TRUE(child.wait_for(30000));
    EXPECT_EQ(child.exit_code(), 7);
    const std::string out = read_text(folder_ / "output.txt");
    EXPECT_NE(out.find("value=[a b \"c\" d\\]\n"), std::string::npos) << out;
    std::string args;
    for (const auto& a : kAwkwardArguments) args += "arg=[" + a + "]\n";
    EXPECT_NE(out.find(args), std::string::npos) << out;
    const size_t at = out.find("folder=[");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string folder = out.substr(at + 8, out.find("]\n", at) - at - 8);
    std::error_code ec;
    EXPECT_TRUE(fs::equivalent(folder, folder_ / "work", ec)) << folder;
}

TEST_F(ChildStart, ProgramThatDoesNotExistIsNotStarted) {
    ChildProcess child;
    EXPECT_FALSE(child.start({(folder_ / "no-such-program").string()}, options("describe")));
    EXPECT_TRUE(child.wait_for(0));
}

TEST_F(ChildStart, EndStopsAChildThatDoesNotEndByItself) {
    ChildProcess child;
    ASSERT_TRUE(child.start(helper_argv(), options("sleep")));
    EXPECT_FALSE(child.wait_for(300));
    const auto before = std::chrono::steady_clock::now();
    child.end(1000);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
    EXPECT_TRUE(child.wait_for(0));
    EXPECT_NE(child.exit_code(), 0);
}

// The stores of this system, redirected to the test's folder (Linux) or the test's keys of the user (Windows).
TEST_F(ChildStart, StartUpRegistrationAndSettingsStoresKeepWhatIsWritten) {
    ChildOptions o = options("stores");
    // Keys of the user outlive the test: a name of this moment's own, never one of an earlier run.
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    const std::string keys =
        fmt("Software\\tamblor-tests\\%s_%I64d", folder_.filename().string(), static_cast<int64_t>(now));
    o.environment.push_back("TAMBLOR_AUTOSTART_DIR=" + (folder_ / "autostart").string());
    o.environment.push_back("TAMBLOR_SETTINGS_FILE=" + (folder_ / "settings.ini").string());
    o.environment.push_back("TAMBLOR_AUTOSTART_KEY=" + keys + "\\Run");
    o.environment.push_back("TAMBLOR_SETTINGS_KEY=" + keys);
    ChildProcess child;
    ASSERT_TRUE(child.start(helper_argv(), o));
    ASSERT_TRUE(child.wait_for(30000));
    EXPECT_EQ(child.exit_code(), 0) << read_text(folder_ / "output.txt");
}

TEST(ChildCommandLine, QuotesWhatWouldBeSplitOrMangled) {
    EXPECT_EQ(quoted_command_line({"C:\\p\\t.exe", "plain"}), "C:\\p\\t.exe plain");
    EXPECT_EQ(quoted_command_line({"a b", ""}), "\"a b\" \"\"");
    EXPECT_EQ(quoted_command_line({"say \"hi\""}), "\"say \\\"hi\\\"\"");
    // Backslashes are doubled only before a quote, the closing one included.
    EXPECT_EQ(quoted_command_line({"x y\\"}), "\"x y\\\\\"");
    EXPECT_EQ(quoted_command_line({"a\\\\b c"}), "\"a\\\\b c\"");
    EXPECT_EQ(quoted_command_line({"a\\\"b"}), "\"a\\\\\\\"b\"");
}

TEST(ChildEnvironment, OverridesReplaceEntriesOfTheSameName) {
    const std::vector<std::string> current = {"PATH=/bin", "Path2=x", "HOME=/root", "=C:=C:\\"};
    EXPECT_EQ(merged_environment(current, {"HOME=/tmp", "NEW=1"}, false),
              (std::vector<std::string>{"PATH=/bin", "Path2=x", "=C:=C:\\", "HOME=/tmp", "NEW=1"}));
    // A name that only begins like another one is another name.
    EXPECT_EQ(merged_environment(current, {"PATH2=y"}, false),
              (std::vector<std::string>{"PATH=/bin", "Path2=x", "HOME=/root", "=C:=C:\\", "PATH2=y"}));
    // Where the system ignores case in names, so does the merge.
    EXPECT_EQ(merged_environment(current, {"path=C:\\bin"}, true),
              (std::vector<std::string>{"Path2=x", "HOME=/root", "=C:=C:\\", "path=C:\\bin"}));
}
