#include "tests/process_runner.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cwctype>

#ifndef _WIN32
extern char** environ;
#endif

namespace tb::test {

#ifdef _WIN32

namespace {

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// One argument quoted so that the C runtime's parser gives it back as it was:
// backslashes double only before a quote or the closing quote.
void append_quoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') backslashes = backslashes * 2 + 1;
        line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::wstring command_line(const ProcessSpec& spec) {
    std::wstring line;
    append_quoted(line, spec.program.wstring());
    for (const auto& arg : spec.args) {
        line += L' ';
        append_quoted(line, widen(arg));
    }
    return line;
}

std::wstring upper(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

// The test's environment with the spec's variables laid over it, as the
// double-NUL-terminated block CreateProcessW takes, sorted by name.
std::wstring environment_block(const std::map<std::string, std::string>& overlay) {
    std::map<std::wstring, std::wstring> vars;  // upper-case name -> "Name=value"
    if (wchar_t* env = ::GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p; p += std::wcslen(p) + 1) {
            const std::wstring entry(p);
            const size_t eq = entry.find(L'=', 1);
            if (eq != std::wstring::npos) vars[upper(entry.substr(0, eq))] = entry;
        }
        ::FreeEnvironmentStringsW(env);
    }
    for (const auto& [name, value] : overlay) vars[upper(widen(name))] = widen(name) + L"=" + widen(value);
    std::wstring block;
    for (const auto& [key, entry] : vars) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

// Console text ends its lines with CR LF here; the tests look for lines
// ended by LF as on Linux. A CR alone (a line rewritten in place) stays.
std::string without_carriage_returns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return h_; }
    HANDLE* out() { return &h_; }
    void reset() {
        if (h_) ::CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

}  // namespace

ProcessResult run_process(const ProcessSpec& spec) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    OwnedHandle read_end, write_end;
    if (!::CreatePipe(read_end.out(), write_end.out(), &inherit, 0)) return result;
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    OwnedHandle null_in(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null_in.get();
    startup.hStdOutput = write_end.get();
    startup.hStdError = write_end.get();

    std::wstring line = command_line(spec);
    std::wstring env = environment_block(spec.environment);
    const std::wstring folder = spec.working_folder.wstring();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(spec.program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, env.data(),
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        result.output = "cannot start " + spec.program.string() + ": error " + std::to_string(::GetLastError());
        return result;
    }
    OwnedHandle process(info.hProcess), thread(info.hThread);
    write_end.reset();  // the pipe ends when the child's copies close

    std::array<char, 4096> buf{};
    DWORD n = 0;
    while (::ReadFile(read_end.get(), buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr) && n > 0)
        result.output.append(buf.data(), n);
    ::WaitForSingleObject(process.get(), INFINITE);
    result.output = without_carriage_returns(result.output);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code)) {
        result.exited = true;
        result.exit_code = static_cast<int>(code);
    }
    return result;
}

int script_exit(int value) { return value; }

int this_process_id() { return static_cast<int>(::GetCurrentProcessId()); }

#else

namespace {

class Fd {
public:
    Fd() = default;
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int* out() { return &fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// The test's environment with the spec's variables laid over it.
std::vector<std::string> environment_entries(const std::map<std::string, std::string>& overlay) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (overlay.count(name) == 0) out.push_back(entry);
    }
    for (const auto& [name, value] : overlay) out.push_back(name + "=" + value);
    return out;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

ProcessResult run_process(const ProcessSpec& spec) {
    ProcessResult result;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return result;
    Fd read_end, write_end;
    *read_end.out() = ends[0];
    *write_end.out() = ends[1];

    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), 1);
    ::posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), 2);
    if (!spec.working_folder.empty())
        ::posix_spawn_file_actions_addchdir_np(actions.get(), spec.working_folder.c_str());

    std::vector<std::string> argv_texts{spec.program.string()};
    argv_texts.insert(argv_texts.end(), spec.args.begin(), spec.args.end());
    std::vector<std::string> env_texts = environment_entries(spec.environment);
    std::vector<char*> argv = pointers_to(argv_texts);
    std::vector<char*> envp = pointers_to(env_texts);

    pid_t pid = -1;
    const int err = ::posix_spawn(&pid, spec.program.c_str(), actions.get(), nullptr, argv.data(), envp.data());
    write_end.reset();  // the pipe ends when the child's copies close
    if (err != 0) {
        result.output = "cannot start " + spec.program.string() + ": errno " + std::to_string(err);
        return result;
    }

    std::array<char, 4096> buf{};
    for (;;) {
        const ssize_t n = ::read(read_end.get(), buf.data(), buf.size());
        if (n > 0) {
            result.output.append(buf.data(), static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (waited == pid && WIFEXITED(status)) {
        result.exited = true;
        result.exit_code = WEXITSTATUS(status);
    }
    return result;
}

int script_exit(int value) { return value & 0xFF; }

int this_process_id() { return static_cast<int>(::getpid()); }

#endif

}  // namespace tb::test
