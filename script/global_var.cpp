#include "script/global_var.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>

#include "common/format.h"
#include "common/text.h"
#include "platform/shared_memory.h"
#include "script/evaluator.h"

namespace tb {

namespace {

constexpr int kTableRegion = SharedSegment::kFirstUserRegion;

struct Table {
    std::mutex lock;  // this process's accesses; the region lock orders the instances
    SharedSegment seg;
    int map_count = 0;     // nested run mappings
    bool lingering = false;  // mapped by an access outside a run
};

// Never destroyed: a run thread may still use it while the process exits.
Table& table() {
    static Table* t = new Table;
    return *t;
}

// Attaches the table of the current namespace. Caller holds the lock.
bool attach_locked(Table& t) {
    if (t.seg.is(shm_names::kGlobalVar)) return true;
    t.lingering = false;
    return t.seg.attach(shm_names::kGlobalVar, kGlobalVarBytes);
}

unsigned char* entry(const Table& t, size_t i) { return t.seg.as<unsigned char>() + i * kGlobalVarEntryBytes; }
unsigned char* value_field(unsigned char* e) { return e + kGlobalVarNameUnits * 2; }

std::u16string load_field(const unsigned char* p, size_t units) {
    std::u16string out;
    for (size_t k = 0; k < units; ++k) {
        char16_t c = static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8));
        if (c == 0) break;
        out.push_back(c);
    }
    return out;
}

// Stores at most units - 1 code units and the terminator; the rest of the field is cleared.
void store_field(unsigned char* p, size_t units, std::u16string_view text) {
    std::memset(p, 0, units * 2);
    size_t n = std::min(text.size(), units - 1);
    if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;  // keep pairs whole
    for (size_t k = 0; k < n; ++k) {
        p[2 * k] = static_cast<unsigned char>(text[k] & 0xFF);
        p[2 * k + 1] = static_cast<unsigned char>(text[k] >> 8);
    }
}

std::u16string entry_name(std::string_view name) {
    // Stored the way store_field() cuts it, so that a long name finds its entry again.
    std::u16string n = to_utf16(name);
    size_t keep = std::min(n.size(), kGlobalVarNameUnits - 1);
    if (keep < n.size() && keep > 0 && n[keep - 1] >= 0xD800 && n[keep - 1] < 0xDC00) --keep;
    n.resize(keep);
    return n;
}

// The entry of that name, else the first empty one; nullopt when neither exists.
std::optional<size_t> find_entry(const Table& t, const std::u16string& name, bool& found) {
    found = false;
    for (size_t i = 0; i < kGlobalVarEntries; ++i) {
        const std::u16string stored = load_field(entry(t, i), kGlobalVarNameUnits);
        if (stored.empty()) return i;
        if (stored == name) {
            found = true;
            return i;
        }
    }
    return std::nullopt;
}

// Runs `fn` on the attached table with both locks held.
template <typename Fn>
bool with_table(Fn&& fn) {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (!t.seg.is(shm_names::kGlobalVar)) {
        // Nothing of the current namespace is mapped: an access outside a
        // run (or after a change of namespace) maps it for good.
        if (!attach_locked(t)) return false;
        if (t.map_count == 0) t.lingering = true;
    }
    SegmentRegionLock region(t.seg, kTableRegion);
    if (!region.held()) return false;  // the job stops while another instance holds the table
    fn(t);
    return true;
}

}  // namespace

bool global_var_usable(std::string& problem) {
    problem.clear();
    if (with_table([](Table&) {})) return true;
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    problem = t.seg.attached() ? "GlobalVar is held by another instance; waiting for it was given up" : t.seg.error();
    if (problem.empty()) problem = "GlobalVar cannot be opened";
    return false;
}

bool global_var_map() {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (!attach_locked(t)) return false;
    ++t.map_count;
    return true;
}

void global_var_unmap() {
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (t.map_count > 0) --t.map_count;
    if (t.map_count == 0 && !t.lingering) t.seg.detach();
}

bool global_var_write_text(std::string_view name, std::string_view text) {
    const std::u16string n = entry_name(name);
    const std::u16string v = to_utf16(text);
    bool stored = false;
    with_table([&](Table& t) {
        bool found = false;
        std::optional<size_t> i = find_entry(t, n, found);
        if (!i) return;
        unsigned char* e = entry(t, *i);
        // Value first: an instance that reads without the lock never sees the name with a stale value.
        store_field(value_field(e), kGlobalVarValueUnits, v);
        if (!found) store_field(e, kGlobalVarNameUnits, n);
        stored = true;
    });
    return stored;
}

bool global_var_write(std::string_view name, const Value& value) {
    std::string text;
    switch (value.type) {
        case ValueType::Decimal: text = fmt("%I64d", value.num); break;
        case ValueType::Hex: text = fmt("0x%08I64X", value.num); break;
        case ValueType::String: text = value.str; break;
        case ValueType::Undefined: break;
    }
    return global_var_write_text(name, text);
}

std::string global_var_text(std::string_view name) {
    const std::u16string n = entry_name(name);
    std::u16string v;
    with_table([&](Table& t) {
        bool found = false;
        std::optional<size_t> i = find_entry(t, n, found);
        if (i && found) v = load_field(value_field(entry(t, *i)), kGlobalVarValueUnits);
    });
    return to_utf8(v);
}

Value global_var_read(std::string_view name) {
    const std::string text = global_var_text(name);
    if (text.empty()) return Value::string("");
    int64_t v = 0;
    if (parse_hex_literal(text, v)) return Value::hex(v);
    if (parse_decimal_literal(text, v)) return Value::decimal(v);
    return Value::string(text);
}

void set_fn_script_state(bool running) { global_var_write_text("_FnScript", running ? "RUNNING" : ""); }

}  // namespace tb
