#include "platform/shared_memory.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "common/format.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

// A wait for a change of a word is made of short waits on the segment's
// wake-up event, each followed by a look at the word: a wake-up that lands
// between a look and a wait is never lost for longer than one slice.
constexpr DWORD kWaitSliceMs = 50;

std::wstring wide_name(const std::string& name, const char* suffix) {
    return host::utf8_to_wide(name + suffix);
}

host::HostHandle named_mutex(const std::string& name, const char* suffix) {
    HANDLE h = ::CreateMutexW(nullptr, FALSE, wide_name(name, suffix).c_str());
    return host::HostHandle(h ? h : INVALID_HANDLE_VALUE);
}

// Takes a mutex until a stop gives up the wait; a dead holder's lock is ours.
bool take_waiting(HANDLE mutex, TransitionWait& wait) {
    for (;;) {
        const DWORD r = ::WaitForSingleObject(mutex, 20);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return true;
        if (r != WAIT_TIMEOUT) return false;
        if (wait.give_up()) return false;
    }
}

uint32_t load_word(const uint32_t* word) { return __atomic_load_n(word, __ATOMIC_ACQUIRE); }

}  // namespace

const char* ipc_name_prefix() { return "Local\\"; }

// The section, its wake-up event and the region locks, all named after the
// segment. The section lives while any process holds a handle to it: the
// contents start afresh once every holder has gone.
struct SharedSegment::System {
    host::HostHandle section;
    host::HostHandle wake;
    std::mutex regions_lock;
    std::map<int, host::HostHandle> regions;  // opened at their first use

    HANDLE region(const std::string& name, int index) {
        std::lock_guard<std::mutex> g(regions_lock);
        host::HostHandle& h = regions[index];
        if (!h) h = named_mutex(name, fmt(".lock%d", index).c_str());
        return h ? h.get() : nullptr;
    }
};

SharedSegment::SharedSegment() : system_(std::make_unique<System>()) {}

SharedSegment::~SharedSegment() { detach(); }

bool SharedSegment::attach(std::string_view base, size_t size, const Initialiser& init) {
    detach();
    error_.clear();
    const std::string name = ipc_object_name(base);
    const std::string label = name.substr(std::string(ipc_name_prefix()).size());
    if (size == 0) {
        error_ = fmt("%s: no size given", label);
        return false;
    }
    // Creating and initialising is one step for the others.
    host::HostHandle creating = named_mutex(name, ".init");
    if (!creating) {
        error_ = fmt("%s cannot be opened (%s)", label, host::win32_error_text(::GetLastError()));
        return false;
    }
    TransitionWait wait;
    if (!take_waiting(creating.get(), wait)) {
        error_ = fmt("%s is held by another process; waiting for it was given up", label);
        return false;
    }
    struct Release {
        HANDLE m;
        ~Release() { ::ReleaseMutex(m); }
    } release{creating.get()};

    const auto bytes = static_cast<unsigned long long>(size);
    HANDLE h = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                                    static_cast<DWORD>(bytes), wide_name(name, "").c_str());
    if (!h) {
        const DWORD code = ::GetLastError();
        error_ = code == ERROR_ACCESS_DENIED ? fmt("%s belongs to another user", label)
                                             : fmt("%s cannot be opened (%s)", label, host::win32_error_text(code));
        return false;
    }
    const bool first = ::GetLastError() != ERROR_ALREADY_EXISTS;
    host::HostHandle section(h);
    void* data = ::MapViewOfFile(section.get(), FILE_MAP_ALL_ACCESS, 0, 0, first ? size : 0);
    if (!data) {
        error_ = fmt("%s cannot be mapped (%s)", label, host::win32_error_text(::GetLastError()));
        return false;
    }
    if (!first) {
        // A section keeps its size: one smaller than expected cannot be used.
        MEMORY_BASIC_INFORMATION info{};
        if (::VirtualQuery(data, &info, sizeof info) == 0 || info.RegionSize < size) {
            error_ = fmt("%s has %I64d bytes where %I64d are expected", label, static_cast<int64_t>(info.RegionSize),
                         static_cast<int64_t>(size));
            ::UnmapViewOfFile(data);
            return false;
        }
    }
    host::HostHandle wake(::CreateEventW(nullptr, TRUE, FALSE, wide_name(name, ".wake").c_str()));
    if (!wake.get()) {
        error_ = fmt("%s cannot be opened (%s)", label, host::win32_error_text(::GetLastError()));
        ::UnmapViewOfFile(data);
        return false;
    }
    if (first && init) init(data, size);
    system_->section = std::move(section);
    system_->wake = std::move(wake);
    data_ = data;
    size_ = size;
    name_ = name;
    enrol_shared_segment(this);
    return true;
}

void SharedSegment::detach() {
    if (data_) {
        withdraw_shared_segment(this);
        ::UnmapViewOfFile(data_);
    }
    System& s = *system_;
    {
        std::lock_guard<std::mutex> g(s.regions_lock);
        s.regions.clear();
    }
    s.wake.reset();
    s.section.reset();  // the last handle takes the contents with it
    data_ = nullptr;
    size_ = 0;
    name_.clear();
}

// The system closes the handles of an ending process.
void SharedSegment::release_at_exit() {}

bool SharedSegment::lock_region(int index, const StopCondition& stop) {
    if (!attached() || index < kFirstUserRegion) return false;
    HANDLE m = system_->region(name_, index);
    if (!m) return false;
    TransitionWait wait(stop);
    return take_waiting(m, wait);
}

void SharedSegment::unlock_region(int index) {
    if (!attached() || index < kFirstUserRegion) return;
    if (HANDLE m = system_->region(name_, index)) ::ReleaseMutex(m);
}

void SharedSegment::wait_for_change(const uint32_t* word, uint32_t expected, int timeout_ms) const {
    if (!attached() || timeout_ms <= 0) return;
    const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    for (;;) {
        if (load_word(word) != expected) return;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= until) return;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(until - now, kWaitSliceMs));
        if (::WaitForSingleObject(system_->wake.get(), slice) == WAIT_OBJECT_0 && load_word(word) == expected) {
            // A wake-up for an earlier change: wait for the next one, unless it came meanwhile.
            ::ResetEvent(system_->wake.get());
            if (load_word(word) != expected) return;
            ::Sleep(1);
        }
    }
}

void SharedSegment::wake_waiters(uint32_t*) const {
    if (attached()) ::SetEvent(system_->wake.get());
}

// A section has no name apart from its holders: it goes with the last of them.
bool remove_shared_object(std::string_view) { return false; }

}  // namespace tb
