#include <windows.h>
#include <tlhelp32.h>

#include "platform/process_names.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

class SnapshotNames final : public ProcessNames {
public:
    bool running(const std::string& file_name) override {
        if (file_name.empty()) return false;
        host::HostHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) return false;
        const std::wstring wanted = host::utf8_to_wide(file_name);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL ok = ::Process32FirstW(snapshot.get(), &entry); ok; ok = ::Process32NextW(snapshot.get(), &entry))
            if (wanted == entry.szExeFile) return true;
        return false;
    }
};

}  // namespace

std::shared_ptr<ProcessNames> make_native_process_names() { return std::make_shared<SnapshotNames>(); }

}  // namespace tb
