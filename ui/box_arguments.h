// How the box commands read their arguments and share their answers: keys
// found inside a pair's key, whole keys or plain positions, a box's item list
// split at "|", and the answer 0 where nobody can be asked.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/handler.h"

namespace tb {

// The pair whose key contains `part` (any case), else the keyless pair at
// `position`, else nullptr.
const ArgPair* key_part_arg(const ArgReader& r, std::string_view part, size_t position);

// The pair at `position` whatever its key, or nullptr.
const ArgPair* positional_arg(const ArgReader& r, size_t position);

// Text, flag and number of an argument that may be missing (then `def`);
// false when the value cannot be read (the failure is already raised).
bool box_text(const ArgReader& r, const ArgPair* p, std::string& out, std::string_view def);
bool box_flag(const ArgReader& r, const ArgPair* p, bool& out, bool def);
bool box_number(const ArgReader& r, const ArgPair* p, int64_t& out, int64_t def);

// A box's items: split at "|"; an item written with a leading "*" is marked
// (listed without it). Empty items are left out.
struct BoxItems {
    std::vector<std::string> texts;
    std::vector<bool> marked;
    int last_marked = -1;
};

constexpr size_t kMaxBoxItems = 64;
constexpr size_t kMaxBoxItemLength = 63;  // longer items are cut

// The items of `list` for `command`; raises -2 and gives nothing when the
// list has no "|", no item, or more items than a box lists.
std::optional<BoxItems> read_box_items(int slot, std::string_view command, const std::string& list);

// Where nobody can answer (no terminal, a remote console run) a box gives 0
// at once: sets that result and returns true.
bool answered_for_nobody(int slot, const std::string& name);

}  // namespace tb
