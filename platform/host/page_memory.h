// Page-aligned, zero-filled memory owned by one object.
#pragma once

#include <cstddef>

namespace tb::host {

// Whole pages from the system, zero-filled and aligned to the page size
// (suitable for unbuffered device I/O). Throws std::bad_alloc when the system
// refuses. A size of 0 holds no memory.
class PageMemory {
public:
    PageMemory() = default;
    explicit PageMemory(std::size_t size);
    ~PageMemory();

    PageMemory(PageMemory&& other) noexcept;
    PageMemory& operator=(PageMemory&& other) noexcept;
    PageMemory(const PageMemory&) = delete;
    PageMemory& operator=(const PageMemory&) = delete;

    void* data() const { return data_; }
    std::size_t size() const { return size_; }

    // The system's page size in bytes.
    static std::size_t page_size();

private:
    void release() noexcept;
    // The system's side: whole zero-filled pages, or nullptr; and their return.
    static void* map_pages(std::size_t size);
    static void unmap_pages(void* data, std::size_t size) noexcept;

    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tb::host
