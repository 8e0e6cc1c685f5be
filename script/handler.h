// The handler contract shared by every script command: the ArgList pair
// splitter, the five argument converters and the result setters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/value.h"

namespace tb {

// Every command handler: (job slot, normalised ArgList text, command name as written).
using Handler = void (*)(int slot, const std::string& args, const std::string& name);

struct ArgPair {
    std::string key;    // at most 30 characters, may be empty
    std::string value;  // a literal: decimal, 0x-hex or a quoted string
};

// Reads the pair at `cursor` and moves the cursor past its comma.
// Returns false when neither a key nor a value was found.
bool split_pair(std::string_view args, size_t& cursor, ArgPair& out);

// All pairs of an ArgList, in order.
std::vector<ArgPair> split_pairs(std::string_view args);

// The converters. Each reads the value text as an operand of the slot.
bool arg_bool(int slot, std::string_view text, bool& out);         // never fails
bool arg_u32(int slot, std::string_view text, uint32_t& out);
bool arg_i32(int slot, std::string_view text, int32_t& out);
bool arg_i64(int slot, std::string_view text, int64_t& out);
bool arg_string(int slot, std::string_view text, std::string& out);

// Result setters: store under the command name as written.
void set_result_number(int slot, const std::string& name, int64_t v, ValueType type = ValueType::Decimal);
void set_result_string(int slot, const std::string& name, std::string_view text);

// Positional access to an ArgList, as most handlers take their arguments.
class ArgReader {
public:
    ArgReader(int slot, std::string_view args) : slot_(slot), pairs_(split_pairs(args)) {}
    size_t size() const { return pairs_.size(); }
    bool has(size_t i) const { return i < pairs_.size(); }
    const ArgPair& pair(size_t i) const { return pairs_[i]; }
    // Converters applied to pair i; false when it is missing or the converter fails.
    bool get_bool(size_t i, bool& out) const;
    bool get_u32(size_t i, uint32_t& out) const;
    bool get_i32(size_t i, int32_t& out) const;
    bool get_i64(size_t i, int64_t& out) const;
    bool get_string(size_t i, std::string& out) const;
    // The first pair whose key equals `key` (case-insensitive), or nullptr.
    const ArgPair* find_key(std::string_view key) const;
    // The first pair whose key contains `part` (case-insensitive), or nullptr.
    const ArgPair* find_key_part(std::string_view part) const;
    int slot() const { return slot_; }

private:
    int slot_;
    std::vector<ArgPair> pairs_;
};

}  // namespace tb
