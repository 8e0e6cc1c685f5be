// The command table and its two lookups. The rows are installed at start-up
// by the program (the engine itself knows no subsystem's commands); entries
// installed later (external tools) are searched after them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "script/handler.h"

namespace tb {

enum class StatementClass : uint32_t { Conditional = 0, Loop = 1, Device = 2, Builtin = 3 };

// Protocol masks (only the low byte is tested).
constexpr uint32_t kMaskAny = 255;
constexpr uint32_t kMaskNvme = 241;
constexpr uint32_t kMaskAta = 240;
constexpr uint32_t kMaskAtaNvme = 242;

struct CommandEntry {
    const char* name;
    StatementClass cls;
    uint32_t mask;
    Handler handler;  // nullptr for If and While, executed by the interpreter
    const char* sample;
};

// Makes `rows` the table the lookups scan, in order. The rows must stay valid
// until another table is installed; an empty span removes the table.
void install_command_table(std::span<const CommandEntry> rows);

// The installed table (empty before one is installed).
std::span<const CommandEntry> command_table();

// Whether a mask accepts an access protocol (1 ATA, 2 USBATA, 10-17 NVMe family).
bool mask_accepts(uint32_t mask, uint8_t protocol);

// First class-3 row with that name (case-insensitive), or nullptr.
const CommandEntry* find_builtin(std::string_view name);
// First class-2 row with that name whose mask accepts the protocol, or nullptr.
const CommandEntry* find_device_command(uint8_t protocol, std::string_view name);
// Both lookups search the extra commands (script/extra_commands.h) only for a
// name that no row of the table carries, so an extra never hides a row.

// Handler of rows whose implementation is not part of this build: raises -79
// ("Function Not Support") with the command name as detail.
void cmd_not_supported(int slot, const std::string& args, const std::string& name);

}  // namespace tb
