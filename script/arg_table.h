// Reading a command's arguments from a small table of what it takes: each
// argument's key, other names it may be written with, its type, its default
// and its limits. A pair is matched by key (any case, any of the names) or,
// when it carries no key, by its position in the table.
//
//   constexpr ArgSpec kSpecs[] = {
//       {"Port", "", ArgType::Number, "0", 0, 15},
//       {"DelayRunSec", "Delay", ArgType::Number, "0", 0, 86400},
//       {"Show", "ShowResult", ArgType::Bool, "TRUE"},
//   };
//   auto a = read_args(slot, args, "SSDPowerOff", kSpecs);
//   if (!a) return;               // the failure is already raised (-2)
//   uint32_t port = static_cast<uint32_t>(a->number("Port"));
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tb {

enum class ArgType { Number, Bool, Text };

struct ArgSpec {
    std::string_view key;
    std::string_view other_names;  // "Delay|Sec": other keys it may be written with
    ArgType type = ArgType::Number;
    std::string_view default_text;  // as a script would write it: "0", "0x10", "TRUE", "name"
    int64_t min = std::numeric_limits<int64_t>::min();
    int64_t max = std::numeric_limits<int64_t>::max();
};

// The values read for one call, by the table's key.
class CommandArgs {
public:
    int64_t number(std::string_view key) const;
    bool flag(std::string_view key) const;
    const std::string& text(std::string_view key) const;
    // Whether the script gave the argument (rather than its default applying).
    bool given(std::string_view key) const;

private:
    friend std::optional<CommandArgs> read_args(int, std::string_view, std::string_view, std::span<const ArgSpec>);
    struct Entry {
        int64_t number = 0;
        std::string text;
        bool given = false;
    };
    const Entry& entry(std::string_view key) const;
    std::map<std::string, Entry, std::less<>> entries_;
};

// Reads every argument of the table. A number that is no number or lies
// outside its limits raises -2 naming the command, the key and the limits,
// and gives nullopt; so does a text argument whose value is undefined.
std::optional<CommandArgs> read_args(int slot, std::string_view args, std::string_view command,
                                     std::span<const ArgSpec> specs);

}  // namespace tb
