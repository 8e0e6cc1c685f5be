// A stand-in for the USB relay library, built by the tests: the nine entry
// points over relays named in $TAMBLOR_TEST_RELAYS (serial numbers separated
// by commas), each call written as one line to the file $TAMBLOR_TEST_RELAY_LOG.
// Channel states live as long as the library stays loaded.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#define RELAY_EXPORT extern "C" __declspec(dllexport)
#else
#define RELAY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct Entry {
    const char* serial_number;
    const char* device_path;
    int type;
    Entry* next;
};

constexpr int kMaxRelays = 8;
char g_serials[kMaxRelays][256];
unsigned g_channels[kMaxRelays];  // bit c-1: channel c open

void note(const char* format, ...) __attribute__((format(printf, 1, 2)));
void note(const char* format, ...) {
    const char* path = std::getenv("TAMBLOR_TEST_RELAY_LOG");
    if (!path || !*path) return;
    FILE* f = std::fopen(path, "a");
    if (!f) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputc('\n', f);
    std::fclose(f);
}

int relay_count() {
    const char* list = std::getenv("TAMBLOR_TEST_RELAYS");
    if (!list || !*list) return 0;
    int n = 0;
    const char* p = list;
    while (*p && n < kMaxRelays) {
        const char* end = std::strchr(p, ',');
        size_t length = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (length > 255) length = 255;
        std::memcpy(g_serials[n], p, length);
        g_serials[n][length] = '\0';
        ++n;
        if (!end) break;
        p = end + 1;
    }
    return n;
}

bool valid(intptr_t device) { return device >= 1 && device <= relay_count(); }

}  // namespace

RELAY_EXPORT int usb_relay_init() {
    note("init");
    return 0;
}

RELAY_EXPORT int usb_relay_exit() {
    note("exit");
    return 0;
}

RELAY_EXPORT Entry* usb_relay_device_enumerate() {
    const int n = relay_count();
    note("enumerate %d", n);
    Entry* head = nullptr;
    for (int i = n - 1; i >= 0; --i) {
        Entry* e = static_cast<Entry*>(std::calloc(1, sizeof(Entry)));
        e->serial_number = g_serials[i];
        e->device_path = "test";
        e->type = 1;
        e->next = head;
        head = e;
    }
    return head;
}

RELAY_EXPORT void usb_relay_device_free_enumerate(Entry* head) {
    int n = 0;
    while (head) {
        Entry* next = head->next;
        std::free(head);
        head = next;
        ++n;
    }
    note("free_enumerate %d", n);
}

RELAY_EXPORT intptr_t usb_relay_device_open_with_serial_number(const char* serial, unsigned length) {
    note("open %.*s %u", static_cast<int>(length), serial, length);
    const int n = relay_count();
    for (int i = 0; i < n; ++i)
        if (std::strlen(g_serials[i]) == length && std::strncmp(g_serials[i], serial, length) == 0) return i + 1;
    return 0;
}

RELAY_EXPORT int usb_relay_device_open_one_relay_channel(intptr_t device, int channel) {
    note("open_channel %d", channel);
    if (!valid(device) || channel < 1 || channel > 8) return 1;
    g_channels[device - 1] |= 1u << (channel - 1);
    return 0;
}

RELAY_EXPORT int usb_relay_device_close_one_relay_channel(intptr_t device, int channel) {
    note("close_channel %d", channel);
    if (!valid(device) || channel < 1 || channel > 8) return 1;
    g_channels[device - 1] &= ~(1u << (channel - 1));
    return 0;
}

RELAY_EXPORT int usb_relay_device_get_status(intptr_t device, unsigned* status) {
    note("status");
    if (!valid(device) || !status) return 1;
    *status = g_channels[device - 1];
    return 0;
}

RELAY_EXPORT void usb_relay_device_close(intptr_t device) { note("close %d", static_cast<int>(device)); }

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) note("unloaded");
    return TRUE;
}
#else
__attribute__((destructor)) static void unloaded() { note("unloaded"); }
#endif
