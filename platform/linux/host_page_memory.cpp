#include "platform/host/page_memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace tb::host {

std::size_t PageMemory::page_size() {
    long n = ::sysconf(_SC_PAGESIZE);
    return n > 0 ? static_cast<std::size_t>(n) : 4096u;
}

// Anonymous mappings are page-aligned and arrive zero-filled.
void* PageMemory::map_pages(std::size_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void PageMemory::unmap_pages(void* data, std::size_t size) noexcept { ::munmap(data, size); }

}  // namespace tb::host
