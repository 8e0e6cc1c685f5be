// Page-aligned memory from the virtual-memory allocator, as unbuffered I/O
// needs it; released when the owner goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>

#include "platform/host/page_memory.h"

namespace tb {

class AlignedBuffer {
public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(size_t bytes) { allocate(bytes); }

    // Zero-filled memory of `bytes` (whole pages underneath); false when the
    // system has none.
    bool allocate(size_t bytes) {
        release();
        if (bytes == 0) return true;
        try {
            memory_ = host::PageMemory(bytes);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    void release() { memory_ = host::PageMemory(); }

    uint8_t* data() const { return static_cast<uint8_t*>(memory_.data()); }
    size_t size() const { return memory_.size(); }
    std::span<uint8_t> span() const { return {data(), size()}; }
    explicit operator bool() const { return memory_.data() != nullptr; }

private:
    host::PageMemory memory_;
};

}  // namespace tb
