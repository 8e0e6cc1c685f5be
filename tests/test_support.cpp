#include "tests/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "app/wiring.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/interpreter.h"
#include "script/job_slot.h"
#include "script/run_job.h"
#include "script/script_text.h"
#include "tests/temp_dir.h"
#include "ui/job_log.h"

namespace tb::test {

namespace {
FILE* g_console = nullptr;
std::string g_folder;

// Every test sees the program's command table and job seams, installed as the
// program installs them.
class CommandsInstalled : public ::testing::Environment {
public:
    void SetUp() override {
        install_commands();
        install_job_seams();
    }
};
::testing::Environment* const g_commands = ::testing::AddGlobalTestEnvironment(new CommandsInstalled);
}  // namespace

std::string fresh_slot() {
    close_job_logs(0);
    reset_app_context();
    install_commands();
    install_job_seams();
    if (g_console) std::fclose(g_console);
    g_console = std::tmpfile();
    app().console = g_console;
    app().run_style = kStyleConsole;
    g_folder = make_temp_dir("tamblor-test");
    app().work_folder = g_folder;
    JobSlot* js = job_slot(0);
    js->log_folder = g_folder;
    js->log_copy_folder.clear();
    js->script_path.clear();
    js->script.clear();
    js->position = 0;
    js->hide_command_echo = false;
    reset_job_log(0);
    clear_job_log(0);
    reset_run_state(0);
    return g_folder;
}

std::string console_output() {
    if (!g_console) return {};
    std::fflush(g_console);
    long end = std::ftell(g_console);
    std::string out(static_cast<size_t>(end), '\0');
    std::rewind(g_console);
    size_t n = std::fread(out.data(), 1, out.size(), g_console);
    out.resize(n);
    std::fseek(g_console, 0, SEEK_END);
    return out;
}

int run(const std::string& statement) { return run_statement(0, clean_statement(statement)); }

std::string var(const std::string& name) {
    const Value* v = job_slot(0)->vars.find(name);
    if (!v || v->is_undefined()) return "<undefined>";
    return value_text(*v);
}

std::string write_file(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::string path = path_join(folder, name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return path;
}

int run_script_text(const std::string& text, const std::string& file_name) {
    JobSlot* js = job_slot(0);
    std::string path = write_file(js->log_folder, file_name, text);
    js->script_path = path;
    return run_job(0);
}

}  // namespace tb::test
