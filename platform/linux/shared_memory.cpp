#include "platform/shared_memory.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "common/format.h"
#include "platform/linux/shared_object_access.h"

namespace tb {

namespace {

// Byte 0 of a segment's file serialises attaching, detaching and removing;
// byte 1 is held shared by every process that has the segment attached.
constexpr off_t kInitRegion = 0;
constexpr off_t kAttachRegion = 1;
constexpr int kOpenAttempts = 5;

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

// One attempt at a lock on one byte; never waits.
bool ofd_try_lock(int fd, short type, off_t start) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = 1;
    fl.l_pid = 0;
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
        if (errno != EINTR) return false;
    }
}

void ofd_unlock(int fd, off_t start) { ofd_try_lock(fd, F_UNLCK, start); }

// Tries until the lock is taken or the wait gives up (see TransitionWait).
bool ofd_lock_waiting(int fd, short type, off_t start, TransitionWait& wait) {
    for (;;) {
        if (ofd_try_lock(fd, type, start)) return true;
        if (errno != EAGAIN && errno != EACCES) return false;
        if (wait.give_up()) return false;
        wait.pause();
    }
}

std::string label_of(const std::string& name) { return name.substr(1); }

std::string path_of(const std::string& name) { return "/dev/shm" + name; }

// Whether the name still refers to the open object (its last holder may have
// removed it between opening and locking).
bool still_named(int fd, const std::string& name) {
    struct stat by_fd {}, by_name {};
    return ::fstat(fd, &by_fd) == 0 && ::stat(path_of(name).c_str(), &by_name) == 0 &&
           by_fd.st_ino == by_name.st_ino && by_fd.st_dev == by_name.st_dev;
}

int open_segment(const std::string& name, const SharedObjectAccess& access, std::string& problem) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        UniqueFd created(::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, access.mode));
        if (created.get() >= 0) {
            if (!prepare_new_object(created.get(), access, problem)) {
                ::shm_unlink(name.c_str());
                return -1;
            }
            return created.release();
        }
        if (errno != EEXIST) break;
        const int fd = ::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
        if (fd >= 0) return fd;
        if (errno == EACCES) {
            problem = refused_object_problem(path_of(name), label_of(name));
            return -1;
        }
        if (errno != ENOENT) break;  // removed between the two calls: try again
    }
    problem = fmt("%s cannot be opened (%s)", label_of(name), std::strerror(errno));
    return -1;
}

// Holds the attach serialisation lock for a scope.
class InitLock {
public:
    InitLock(int fd, TransitionWait& wait) : fd_(fd), held_(ofd_lock_waiting(fd, F_WRLCK, kInitRegion, wait)) {}
    ~InitLock() {
        if (held_) ofd_unlock(fd_, kInitRegion);
    }
    InitLock(const InitLock&) = delete;
    InitLock& operator=(const InitLock&) = delete;
    bool held() const { return held_; }

private:
    int fd_;
    bool held_;
};

}  // namespace

const char* ipc_name_prefix() { return "/"; }

struct SharedSegment::System {
    int fd = -1;
    pid_t owner_pid = 0;  // the process that attached (a forked child only inherits it)

    void* map_attached(const std::string& name, size_t size, const Initialiser& init, std::string& error);
    bool remove_name_if_last(const std::string& name);
};

SharedSegment::SharedSegment() : system_(std::make_unique<System>()) {}

SharedSegment::~SharedSegment() { detach(); }

bool SharedSegment::attach(std::string_view base, size_t size, const Initialiser& init) {
    detach();
    error_.clear();
    const std::string name = ipc_object_name(base);
    if (size == 0) {
        error_ = fmt("%s: no size given", label_of(name));
        return false;
    }
    const SharedObjectAccess access = shared_object_access();
    if (!access.problem.empty()) {
        error_ = access.problem;
        return false;
    }
    TransitionWait wait;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        UniqueFd fd(open_segment(name, access, error_));
        if (fd.get() < 0) return false;
        InitLock serialise(fd.get(), wait);
        if (!serialise.held()) {
            error_ = fmt("%s is held by another process; waiting for it was given up", label_of(name));
            return false;
        }
        if (!still_named(fd.get(), name)) continue;  // its last holder removed it: open the new one
        if (!admit_existing_object(fd.get(), access, label_of(name), error_)) return false;
        system_->fd = fd.get();
        void* data = system_->map_attached(name, size, init, error_);
        if (!data) {
            system_->fd = -1;
            return false;
        }
        system_->fd = fd.release();
        data_ = data;
        size_ = size;
        name_ = name;
        system_->owner_pid = ::getpid();
        enrol_shared_segment(this);
        return true;
    }
    error_ = fmt("%s keeps disappearing while it is opened", label_of(name));
    return false;
}

void* SharedSegment::System::map_attached(const std::string& name, size_t size, const Initialiser& init,
                                          std::string& error) {
    // Nobody else holds the attach region: this process is the first holder
    // (or every earlier one has gone), so the contents start afresh.
    const bool first = ofd_try_lock(fd, F_WRLCK, kAttachRegion);
    if (first) {
        if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            error = fmt("%s cannot be sized (%s)", label_of(name), std::strerror(errno));
            return nullptr;
        }
    } else {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) != size) {
            // Mapping it would reach past its end (or leave part of it unseen).
            error = fmt("%s has %I64d bytes where %I64d are expected", label_of(name),
                         static_cast<int64_t>(st.st_size), static_cast<int64_t>(size));
            return nullptr;
        }
    }
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        error = fmt("%s cannot be mapped (%s)", label_of(name), std::strerror(errno));
        return nullptr;
    }
    if (first && init) init(data, size);
    // Downgrade (first holder) or join the other holders.
    if (!ofd_try_lock(fd, F_RDLCK, kAttachRegion)) {
        error = fmt("%s cannot be joined (%s)", label_of(name), std::strerror(errno));
        ::munmap(data, size);
        return nullptr;
    }
    return data;
}

bool SharedSegment::System::remove_name_if_last(const std::string& name) {
    if (fd < 0 || owner_pid != ::getpid()) return false;  // an inherited attachment is its parent's
    TransitionWait wait([] { return true; });  // a short try only: nobody waits for this
    InitLock serialise(fd, wait);
    if (!serialise.held()) return false;
    // Our own shared hold converts when no other holder is left.
    if (!ofd_try_lock(fd, F_WRLCK, kAttachRegion)) return false;
    if (still_named(fd, name)) ::shm_unlink(name.c_str());
    return true;
}

void SharedSegment::detach() {
    System& s = *system_;
    if (s.fd >= 0) {
        withdraw_shared_segment(this);
        s.remove_name_if_last(name_);
    }
    if (data_) ::munmap(data_, size_);
    if (s.fd >= 0) ::close(s.fd);  // drops this process's attach lock
    data_ = nullptr;
    s.fd = -1;
    size_ = 0;
    name_.clear();
    s.owner_pid = 0;
}

void SharedSegment::release_at_exit() {
    System& s = *system_;
    if (s.fd < 0 || s.owner_pid != ::getpid()) return;
    // Not the last: let another attachment of this process to the same
    // object find itself the last one. The mapping stays for threads that
    // still run.
    if (!s.remove_name_if_last(name_)) ofd_unlock(s.fd, kAttachRegion);
}

bool SharedSegment::lock_region(int index, const StopCondition& stop) {
    if (system_->fd < 0 || index < kFirstUserRegion) return false;
    TransitionWait wait(stop);
    return ofd_lock_waiting(system_->fd, F_WRLCK, index, wait);
}

void SharedSegment::unlock_region(int index) {
    if (system_->fd >= 0 && index >= kFirstUserRegion) ofd_unlock(system_->fd, index);
}

bool remove_shared_object(std::string_view base) { return ::shm_unlink(ipc_object_name(base).c_str()) == 0; }

// Futex wait and wake: the word is in memory shared with other processes.
void SharedSegment::wait_for_change(const uint32_t* word, uint32_t expected, int timeout_ms) const {
    if (timeout_ms <= 0) return;
    struct timespec ts {};
    ts.tv_sec = timeout_ms / 1000;
    ts.tv_nsec = static_cast<long>(timeout_ms % 1000) * 1000000L;
    // Not FUTEX_PRIVATE: the word is shared with other processes.
    ::syscall(SYS_futex, word, FUTEX_WAIT, expected, &ts, nullptr, 0);
}

void SharedSegment::wake_waiters(uint32_t* word) const { ::syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

}  // namespace tb
