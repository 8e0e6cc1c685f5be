// Environment variables of the test process set for one scope and put back
// as they were when it ends.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace tb::test {

inline void set_environment_variable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // An empty value removes the variable; the process's environment block
    // (read by the system's own calls) changes along with the C runtime's.
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
#endif
}

class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        set_environment_variable(name_, value);
    }
    ~ScopedVariable() { set_environment_variable(name_, old_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// The process's temporary folder for one scope: TMPDIR on Linux, TMP and
// TEMP on Windows.
class ScopedTempFolder {
public:
    explicit ScopedTempFolder(const std::filesystem::path& dir)
        : tmpdir_("TMPDIR", dir.string()), tmp_("TMP", dir.string()), temp_("TEMP", dir.string()) {}

private:
    ScopedVariable tmpdir_, tmp_, temp_;
};

// The start-up registration store for one scope: a folder in `folder` on
// Linux; on Windows a registry key of the user, which outlives the test, so
// a key of this moment's own, never one of an earlier run.
class ScopedStartupStore {
public:
    explicit ScopedStartupStore(const std::string& folder)
        : dir_("TAMBLOR_AUTOSTART_DIR", folder + "/autostart"), key_("TAMBLOR_AUTOSTART_KEY", key_of(folder)) {}

private:
    static std::string key_of(const std::string& folder) {
        const auto now = std::chrono::system_clock::now().time_since_epoch().count();
        return "Software\\tamblor-tests\\" + std::filesystem::path(folder).filename().string() + "_" +
               std::to_string(now);
    }
    ScopedVariable dir_, key_;
};

}  // namespace tb::test
