#include "platform/system_mutex.h"

#include <windows.h>

#include "common/format.h"
#include "platform/shared_memory.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb {

struct SystemMutex::System {
    host::HostHandle handle;
    std::string name;
};

SystemMutex::SystemMutex() : system_(std::make_unique<System>()) {}

SystemMutex::~SystemMutex() = default;

bool SystemMutex::open(std::string_view base) {
    error_.clear();
    System& s = *system_;
    s.handle.reset();
    s.name.clear();
    const std::string name = ipc_object_name(base);
    HANDLE h = ::CreateMutexW(nullptr, FALSE, host::utf8_to_wide(name).c_str());
    if (!h) {
        error_ = fmt("%s cannot be opened (%s)", std::string(base), host::win32_error_text(::GetLastError()));
        return false;
    }
    s.handle.reset(h);
    s.name = name;
    return true;
}

bool SystemMutex::opened() const { return static_cast<bool>(system_->handle); }

bool SystemMutex::is(std::string_view base) const { return opened() && system_->name == ipc_object_name(base); }

SystemMutex::Take SystemMutex::take(int timeout_ms) {
    if (!opened()) return Take::Failed;
    switch (::WaitForSingleObject(system_->handle.get(), static_cast<DWORD>(timeout_ms < 0 ? 0 : timeout_ms))) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // its holder ended holding it: ours now
            return Take::Taken;
        case WAIT_TIMEOUT:
            return Take::TimedOut;
        default:
            return Take::Failed;
    }
}

bool SystemMutex::give() { return opened() && ::ReleaseMutex(system_->handle.get()); }

}  // namespace tb
