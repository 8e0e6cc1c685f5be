#include "platform/child_process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <utility>

#include "platform/child_environment.h"
#include "platform/command_line_quote.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

// Our environment with `overrides`, as the block CreateProcessW takes
// ("NAME=value" entries, each ended by a zero, then one more zero).
std::wstring environment_block(const std::vector<std::string>& overrides) {
    std::vector<std::string> current;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e; e += std::wcslen(e) + 1) current.push_back(host::wide_to_utf8(e));
        ::FreeEnvironmentStringsW(block);
    }
    std::wstring out;
    for (const auto& entry : merged_environment(current, overrides, true)) {
        out += host::utf8_to_wide(entry);
        out += L'\0';
    }
    out += L'\0';
    return out;
}

host::HostHandle inheritable_file(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE h = ::CreateFileW(host::utf8_to_wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return host::HostHandle(h);
}

// A job whose processes all end when its last handle closes: with this
// process, since only this process holds it.
host::HostHandle job_ending_with_us() {
    host::HostHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job.get()) return host::HostHandle();
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return host::HostHandle();
    return job;
}

// A job that holds a group leader and whatever it starts, so that ending
// the leader can end them all; it outlives us when we go first.
host::HostHandle job_of_a_group() { return host::HostHandle(::CreateJobObjectW(nullptr, nullptr)); }

}  // namespace

bool backslash_escapes_in_command_lines() { return false; }

struct ChildProcess::System {
    host::HostHandle process;
    host::HostHandle job;  // set when the child ends with us
    DWORD pid = 0;
    int status = 0;
    bool end_with_parent = false;
    bool group_leader = false;

    bool running() const { return static_cast<bool>(process); }
    // Whether the process has ended within `ms`; takes its exit code then.
    bool ended_within(DWORD ms) {
        if (::WaitForSingleObject(process.get(), ms) != WAIT_OBJECT_0) return false;
        DWORD code = 0;
        status = ::GetExitCodeProcess(process.get(), &code) ? static_cast<int>(code) : -1;
        process.reset();
        return true;
    }
};

ChildProcess::ChildProcess() : system_(std::make_unique<System>()) {}

ChildProcess::ChildProcess(ChildProcess&& o) noexcept : system_(std::exchange(o.system_, std::make_unique<System>())) {}

ChildProcess::~ChildProcess() {
    if (system_ && system_->running() && system_->end_with_parent) end();
}

int ChildProcess::exit_code() const { return system_->status; }

bool ChildProcess::start(const std::vector<std::string>& argv, const ChildOptions& options) {
    System& s = *system_;
    if (argv.empty() || s.running()) return false;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    host::HostHandle output, input;
    if (!options.output_file.empty()) {
        output = inheritable_file(options.output_file, GENERIC_WRITE, CREATE_ALWAYS);
        if (!output) return false;
    }
    if (options.no_input) {
        input = inheritable_file("NUL", GENERIC_READ, OPEN_EXISTING);
        if (!input) return false;
    }
    const bool redirect = output || input;
    if (redirect) {
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdInput = input ? input.get() : ::GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = output ? output.get() : ::GetStdHandle(STD_OUTPUT_HANDLE);
        si.hStdError = output ? output.get() : ::GetStdHandle(STD_ERROR_HANDLE);
    }
    host::HostHandle job;
    if (options.end_with_parent) {
        job = job_ending_with_us();
        if (!job) return false;
    } else if (options.own_process_group) {
        job = job_of_a_group();
        if (!job) return false;
    }
    std::wstring program = host::utf8_to_wide(argv[0]);
    std::wstring line = host::utf8_to_wide(quoted_command_line(argv));
    std::wstring env = environment_block(options.environment);
    std::wstring folder = host::utf8_to_wide(options.work_folder);
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    if (options.own_process_group) flags |= CREATE_NEW_PROCESS_GROUP;
    PROCESS_INFORMATION pi{};
    // Without a folder part the name is looked for the system's way.
    const bool search = options.search_path && argv[0].find_first_of("\\/:") == std::string::npos;
    if (!::CreateProcessW(search ? nullptr : program.c_str(), line.data(), nullptr, nullptr, redirect ? TRUE : FALSE,
                          flags, env.data(), folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return false;
    host::HostHandle process(pi.hProcess), thread(pi.hThread);
    // In the job before it runs a single instruction, so that nothing it
    // starts escapes the job.
    if (job && !::AssignProcessToJobObject(job.get(), process.get())) {
        ::TerminateProcess(process.get(), 1);
        return false;
    }
    ::ResumeThread(thread.get());
    s.process = std::move(process);
    s.job = std::move(job);
    s.pid = pi.dwProcessId;
    s.status = 0;
    s.end_with_parent = options.end_with_parent;
    s.group_leader = options.own_process_group;
    return true;
}

bool ChildProcess::wait_for(int ms) {
    System& s = *system_;
    if (!s.running()) return true;
    return s.ended_within(static_cast<DWORD>(ms < 0 ? 0 : ms));
}

void ChildProcess::end(int grace_ms) {
    System& s = *system_;
    if (!s.running()) return;
    // A group leader can be asked to end (its console control handler gets
    // Ctrl+Break); any other child is ended at once.
    const bool asked = s.group_leader && ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, s.pid);
    if (!s.ended_within(asked ? static_cast<DWORD>(grace_ms) : 0)) {
        ::TerminateProcess(s.process.get(), 1);
        s.ended_within(INFINITE);
        s.status = -1;
    }
    // Whatever the child left behind in its job ends with it.
    if (s.job) ::TerminateJobObject(s.job.get(), 1);
    s.job.reset();
}

void ChildProcess::kill() {
    System& s = *system_;
    if (!s.running()) return;
    ::TerminateProcess(s.process.get(), 1);
    s.ended_within(INFINITE);
    s.status = -1;
}

std::vector<std::string> parent_process_names(int depth) {
    std::vector<std::string> names;
    host::HostHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return names;
    auto find = [&](DWORD pid, PROCESSENTRY32W& out) {
        out.dwSize = sizeof out;
        for (BOOL ok = ::Process32FirstW(snapshot.get(), &out); ok; ok = ::Process32NextW(snapshot.get(), &out))
            if (out.th32ProcessID == pid) return true;
        return false;
    };
    PROCESSENTRY32W entry{};
    if (!find(::GetCurrentProcessId(), entry)) return names;
    for (int i = 0; i < depth && entry.th32ParentProcessID != 0; ++i) {
        if (!find(entry.th32ParentProcessID, entry)) break;
        names.push_back(host::wide_to_utf8(entry.szExeFile));
    }
    return names;
}

}  // namespace tb
