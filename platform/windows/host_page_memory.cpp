#include "platform/host/page_memory.h"

#include <windows.h>

#include <new>
#include <utility>

namespace tb::host {

std::size_t PageMemory::page_size() {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwPageSize > 0 ? info.dwPageSize : 4096u;
}

PageMemory::PageMemory(std::size_t size) {
    if (size == 0) return;
    // Committed pages arrive zero-filled and aligned to the allocation granularity.
    void* p = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (p == nullptr) throw std::bad_alloc();
    data_ = p;
    size_ = size;
}

PageMemory::~PageMemory() { release(); }

PageMemory::PageMemory(PageMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageMemory& PageMemory::operator=(PageMemory&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void PageMemory::release() noexcept {
    if (data_ != nullptr) ::VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace tb::host
