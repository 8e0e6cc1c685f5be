#include "script/command_table.h"

#include <mutex>

#include "common/text.h"
#include "script/error_policy.h"
#include "script/extra_commands.h"

namespace tb {

namespace {

std::mutex g_lock;  // guards g_table
std::span<const CommandEntry> g_table;

bool table_has_name(std::span<const CommandEntry> rows, std::string_view name) {
    for (const CommandEntry& e : rows)
        if (iequals(e.name, name)) return true;
    return false;
}

template <typename Match>
const CommandEntry* first_match(std::span<const CommandEntry> rows, Match match) {
    for (const CommandEntry& e : rows)
        if (match(e)) return &e;
    return nullptr;
}

// The table first; the extra commands only for a name the table lacks.
template <typename Match>
const CommandEntry* look_up(std::string_view name, Match match) {
    std::span<const CommandEntry> rows = command_table();
    if (const CommandEntry* row = first_match(rows, match)) return row;
    if (table_has_name(rows, name)) return nullptr;
    return first_match(extra_commands(), match);
}

}  // namespace

void cmd_not_supported(int slot, const std::string& args, const std::string& name) {
    raise_error(slot, kErrNotSupported, name);
}

void install_command_table(std::span<const CommandEntry> rows) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_table = rows;
}

std::span<const CommandEntry> command_table() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_table;
}

bool mask_accepts(uint32_t mask, uint8_t protocol) {
    const bool ata = protocol == 1 || protocol == 2;
    const bool nvme = protocol >= 10 && protocol <= 17;
    switch (mask & 0xFF) {
        case kMaskAny:
            return true;
        case kMaskNvme:
            return nvme;
        case kMaskAta:
            return ata;
        case kMaskAtaNvme:
            return ata || nvme;
        default:
            return false;
    }
}

const CommandEntry* find_builtin(std::string_view name) {
    return look_up(name, [&](const CommandEntry& e) {
        return e.cls == StatementClass::Builtin && iequals(e.name, name);
    });
}

const CommandEntry* find_device_command(uint8_t protocol, std::string_view name) {
    return look_up(name, [&](const CommandEntry& e) {
        return e.cls == StatementClass::Device && iequals(e.name, name) && mask_accepts(e.mask, protocol);
    });
}

}  // namespace tb
