#include "platform/host/page_memory.h"

#include <windows.h>

namespace tb::host {

std::size_t PageMemory::page_size() {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwPageSize > 0 ? info.dwPageSize : 4096u;
}

// Committed pages arrive zero-filled and aligned to the allocation granularity.
void* PageMemory::map_pages(std::size_t size) {
    return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void PageMemory::unmap_pages(void* data, std::size_t) noexcept { ::VirtualFree(data, 0, MEM_RELEASE); }

}  // namespace tb::host
