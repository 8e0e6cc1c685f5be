#include "platform/process_identity.h"

#include <windows.h>

#include "platform/windows/host_handle.h"

namespace tb {

namespace {

// The creation time of the process (100 ns units since 1601), 0 when unreadable.
uint64_t creation_time_of(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

host::HostHandle open_for_query(int32_t pid) {
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    return host::HostHandle(h ? h : INVALID_HANDLE_VALUE);
}

// An ended process can still be opened while someone holds a handle to it.
bool has_ended(HANDLE process) { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

}  // namespace

int32_t current_process_id() { return static_cast<int32_t>(::GetCurrentProcessId()); }

ProcessIdentity current_process_identity() {
    return {current_process_id(), creation_time_of(::GetCurrentProcess())};
}

bool process_exists(int32_t pid) {
    if (pid <= 0) return false;
    host::HostHandle h = open_for_query(pid);
    if (!h) return ::GetLastError() == ERROR_ACCESS_DENIED;  // another user's: it exists
    return !has_ended(h.get());
}

bool process_still_running(const ProcessIdentity& who) {
    if (who.pid <= 0) return false;
    host::HostHandle h = open_for_query(who.pid);
    if (!h) return ::GetLastError() == ERROR_ACCESS_DENIED;
    if (has_ended(h.get())) return false;
    const uint64_t started = creation_time_of(h.get());
    return who.start_ticks == 0 || started == 0 || started == who.start_ticks;
}

}  // namespace tb
