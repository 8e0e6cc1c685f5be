// Page-aligned memory from the virtual-memory allocator, as unbuffered I/O
// needs it; released when the owner goes.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace tb {

class AlignedBuffer {
public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(size_t bytes) { allocate(bytes); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    AlignedBuffer(AlignedBuffer&& o) noexcept
        : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)), mapped_(std::exchange(o.mapped_, 0)) {}
    AlignedBuffer& operator=(AlignedBuffer&& o) noexcept {
        if (this != &o) {
            release();
            data_ = std::exchange(o.data_, nullptr);
            size_ = std::exchange(o.size_, 0);
            mapped_ = std::exchange(o.mapped_, 0);
        }
        return *this;
    }
    ~AlignedBuffer() { release(); }

    // Zero-filled memory of `bytes` (rounded up to whole pages); false when
    // the system has none.
    bool allocate(size_t bytes) {
        release();
        if (bytes == 0) return true;
        size_t page = 4096;
        size_t mapped = (bytes + page - 1) / page * page;
        void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return false;
        data_ = static_cast<uint8_t*>(p);
        size_ = bytes;
        mapped_ = mapped;
        return true;
    }
    void release() {
        if (data_) ::munmap(data_, mapped_);
        data_ = nullptr;
        size_ = mapped_ = 0;
    }

    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    std::span<uint8_t> span() const { return {data_, size_}; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t mapped_ = 0;
};

}  // namespace tb
