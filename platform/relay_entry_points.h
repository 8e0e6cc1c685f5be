// The nine entry points of the USB relay library, once resolved, and the
// library object built on them; the per-system loaders only find the file
// and resolve the names.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/relay_library.h"

namespace tb {

// The list entry the enumeration returns.
struct RelayListEntry {
    const char* serial_number;
    const char* device_path;
    int type;
    RelayListEntry* next;
};

struct RelayEntryPoints {
    int (*init)() = nullptr;
    RelayListEntry* (*enumerate)() = nullptr;
    void (*free_enumerate)(RelayListEntry*) = nullptr;
    intptr_t (*open_with_serial_number)(const char*, unsigned) = nullptr;
    int (*open_one_relay_channel)(intptr_t, int) = nullptr;
    int (*close_one_relay_channel)(intptr_t, int) = nullptr;
    int (*get_status)(intptr_t, unsigned*) = nullptr;
    void (*close)(intptr_t) = nullptr;
    int (*exit)() = nullptr;
};

// Resolves every entry point through `resolve` (name -> address or null);
// false naming the first one missing in `missing`.
bool resolve_relay_entry_points(const std::function<void*(const char*)>& resolve, RelayEntryPoints& out,
                                std::string& missing);

// A library over resolved entry points; `unload` runs at its destruction.
std::unique_ptr<RelayLibrary> make_relay_library(const RelayEntryPoints& entry_points, std::function<void()> unload);

}  // namespace tb
