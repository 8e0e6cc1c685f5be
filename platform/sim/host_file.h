// One open file or folder of the machine the program runs on, as the
// simulated machine's own files need it: positioned reads and writes of a
// sparse file, hole punching, size changes, syncing, and the facts the
// safety checks judge (kind, owner, links, who else may enter). Closed when
// it goes out of scope. Each system implements it in its platform folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tb::sim {

enum class HostNodeKind { Regular, Folder, Other };

struct HostFileFacts {
    HostNodeKind kind = HostNodeKind::Other;
    std::string owner;              // in the form of host::user_tag()
    uint64_t links = 1;
    uint64_t size = 0;
    bool private_to_owner = false;  // nobody but the owner may enter or read it
    std::string access;             // the access rights as the system writes them, for messages
};

class HostFile {
  public:
    HostFile() = default;
    explicit HostFile(std::intptr_t handle) : handle_(handle) {}
    HostFile(HostFile&& other) noexcept : handle_(other.release()) {}
    HostFile& operator=(HostFile&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
    ~HostFile() { reset(); }

    explicit operator bool() const { return handle_ != kNone; }
    std::intptr_t handle() const { return handle_; }
    void reset(std::intptr_t handle = kNone);

    // Reads `out.size()` bytes at `offset`; bytes beyond the end of the file
    // read as zeros.
    bool read_at(uint64_t offset, std::span<uint8_t> out) const;
    bool write_at(uint64_t offset, std::span<const uint8_t> in) const;
    // Gives the range back to the file system (it reads as zeros); false
    // when the file system cannot.
    bool punch_hole(uint64_t offset, uint64_t length) const;
    bool set_size(uint64_t size, std::string* why = nullptr) const;
    // Bytes the file system really holds for the file; `fallback` when unknown.
    uint64_t allocated_bytes(uint64_t fallback) const;
    // Puts the file's data on its medium.
    bool sync() const;
    bool facts(HostFileFacts& out, std::string* why) const;

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t release() {
        std::intptr_t h = handle_;
        handle_ = kNone;
        return h;
    }
    std::intptr_t handle_ = kNone;
};

}  // namespace tb::sim
