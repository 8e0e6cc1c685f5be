#include "ui/box_arguments.h"

#include "common/format.h"
#include "common/text.h"
#include "script/error_policy.h"
#include "script/operator_dialogs.h"

namespace tb {

const ArgPair* key_part_arg(const ArgReader& r, std::string_view part, size_t position) {
    if (const ArgPair* p = r.find_key_part(part)) return p;
    if (r.has(position) && r.pair(position).key.empty()) return &r.pair(position);
    return nullptr;
}

const ArgPair* positional_arg(const ArgReader& r, size_t position) {
    return r.has(position) ? &r.pair(position) : nullptr;
}

bool box_text(const ArgReader& r, const ArgPair* p, std::string& out, std::string_view def) {
    if (!p) {
        out = std::string(def);
        return true;
    }
    return arg_string(r.slot(), p->value, out);
}

bool box_flag(const ArgReader& r, const ArgPair* p, bool& out, bool def) {
    if (!p) {
        out = def;
        return true;
    }
    return arg_bool(r.slot(), p->value, out);
}

bool box_number(const ArgReader& r, const ArgPair* p, int64_t& out, int64_t def) {
    if (!p) {
        out = def;
        return true;
    }
    return arg_i64(r.slot(), p->value, out);
}

std::optional<BoxItems> read_box_items(int slot, std::string_view command, const std::string& list) {
    if (list.find('|') == std::string::npos) {
        raise_error(slot, kErrParam, "ItemList must include \"|\" for split Item");
        return std::nullopt;
    }
    BoxItems items;
    for (std::string item : split(list, '|')) {
        const bool marked = !item.empty() && item.front() == '*';
        if (marked) item.erase(0, 1);
        if (item.empty()) continue;
        if (marked) items.last_marked = static_cast<int>(items.texts.size());
        items.texts.push_back(utf16_truncate(item, kMaxBoxItemLength));
        items.marked.push_back(marked);
    }
    if (items.texts.empty()) {
        raise_error(slot, kErrParam, fmt("%s: ItemList \"%s\" holds no item", std::string(command), list));
        return std::nullopt;
    }
    if (items.texts.size() > kMaxBoxItems) {
        raise_error(slot, kErrParam,
                    fmt("%s: ItemList holds %d items; a box lists at most %d", std::string(command),
                        static_cast<int>(items.texts.size()), static_cast<int>(kMaxBoxItems)));
        return std::nullopt;
    }
    return items;
}

bool answered_for_nobody(int slot, const std::string& name) {
    if (operator_dialogs()->attended()) return false;
    set_result_number(slot, name, 0);
    return true;
}

}  // namespace tb
