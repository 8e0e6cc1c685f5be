#include "platform/shared_memory.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

namespace tb {

namespace {

// Byte 0 of a segment's file serialises attaching; byte 1 is held shared by
// every process that has the segment attached.
constexpr off_t kInitRegion = 0;
constexpr off_t kAttachRegion = 1;

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

bool ofd_lock(int fd, short type, off_t start, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = 1;
    fl.l_pid = 0;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EINTR) return false;
    }
}

int open_segment(const std::string& name) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::fchmod(fd, 0666);  // every user's instances share the objects, whatever the umask
            return fd;
        }
        if (errno != EEXIST) return -1;
        fd = ::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
        if (fd >= 0) return fd;
        if (errno != ENOENT) return -1;  // removed between the two calls: try again
    }
    return -1;
}

// Holds the attach serialisation lock for a scope.
class InitLock {
public:
    explicit InitLock(int fd) : fd_(fd), held_(ofd_lock(fd, F_WRLCK, kInitRegion, true)) {}
    ~InitLock() {
        if (held_) ofd_lock(fd_, F_UNLCK, kInitRegion, false);
    }
    bool held() const { return held_; }

private:
    int fd_;
    bool held_;
};

}  // namespace

std::string ipc_namespace() {
    const char* ns = std::getenv("TAMBLOR_IPC_NAMESPACE");
    std::string out = ns ? ns : "";
    for (char& c : out)
        if (c == '/') c = '_';
    return out;
}

std::string ipc_object_name(std::string_view base) {
    while (!base.empty() && base.front() == '/') base.remove_prefix(1);
    return "/" + ipc_namespace() + std::string(base);
}

bool SharedSegment::attach(std::string_view base, size_t size, const Initialiser& init) {
    detach();
    if (size == 0) return false;
    const std::string name = ipc_object_name(base);
    UniqueFd fd(open_segment(name));
    if (fd.get() < 0) return false;

    void* data = nullptr;
    {
        InitLock serialise(fd.get());
        if (!serialise.held()) return false;
        // Nobody else holds the attach region: this process is the first
        // holder (or every earlier one has gone), so the contents start afresh.
        const bool first = ofd_lock(fd.get(), F_WRLCK, kAttachRegion, false);
        if (first) {
            if (::ftruncate(fd.get(), 0) != 0 || ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) return false;
        } else {
            struct stat st {};
            if (::fstat(fd.get(), &st) != 0 || static_cast<size_t>(st.st_size) != size) return false;
        }
        data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
        if (data == MAP_FAILED) return false;
        if (first && init) init(data, size);
        // Downgrade (first holder) or join the other holders.
        if (!ofd_lock(fd.get(), F_RDLCK, kAttachRegion, false)) {
            ::munmap(data, size);
            return false;
        }
    }
    fd_ = fd.release();
    data_ = data;
    size_ = size;
    name_ = name;
    return true;
}

void SharedSegment::detach() {
    if (data_) ::munmap(data_, size_);
    if (fd_ >= 0) ::close(fd_);  // drops this process's attach lock
    data_ = nullptr;
    fd_ = -1;
    size_ = 0;
    name_.clear();
}

bool SharedSegment::lock_region(int index) {
    if (fd_ < 0 || index < kFirstUserRegion) return false;
    return ofd_lock(fd_, F_WRLCK, index, true);
}

void SharedSegment::unlock_region(int index) {
    if (fd_ >= 0 && index >= kFirstUserRegion) ofd_lock(fd_, F_UNLCK, index, false);
}

bool remove_shared_object(std::string_view base) { return ::shm_unlink(ipc_object_name(base).c_str()) == 0; }

void remove_shared_objects() {
    for (const char* base : {shm_names::kBarrier, shm_names::kSyncEvent, shm_names::kGlobalMutex,
                             shm_names::kRescanLock, shm_names::kComPortLock, shm_names::kGlobalVar,
                             shm_names::kBroadcast})
        remove_shared_object(base);
}

void shared_futex_wait(const uint32_t* word, uint32_t expected, int timeout_ms) {
    if (timeout_ms <= 0) return;
    struct timespec ts {};
    ts.tv_sec = timeout_ms / 1000;
    ts.tv_nsec = static_cast<long>(timeout_ms % 1000) * 1000000L;
    // Not FUTEX_PRIVATE: the word is shared with other processes.
    ::syscall(SYS_futex, word, FUTEX_WAIT, expected, &ts, nullptr, 0);
}

void shared_futex_wake_all(uint32_t* word) { ::syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

bool process_alive(pid_t pid) {
    if (pid <= 0) return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace tb
