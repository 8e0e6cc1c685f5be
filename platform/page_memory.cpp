#include "platform/host/page_memory.h"

#include <new>
#include <utility>

namespace tb::host {

PageMemory::PageMemory(std::size_t size) {
    if (size == 0) return;
    data_ = map_pages(size);
    if (data_ == nullptr) throw std::bad_alloc();
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
    if (data_ != nullptr) unmap_pages(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace tb::host
