#include "app/command_assembly.h"

#include <cstring>

#include "common/format.h"

namespace tb {

namespace {

bool is_keyword(const CommandRow& row) {
    return row.cls == StatementClass::Conditional || row.cls == StatementClass::Loop;
}

bool binds(const CommandBinding& b, const CommandRow& row) {
    return b.mask == row.mask && std::strcmp(b.name, row.name) == 0;
}

std::string described(const CommandBinding& b) { return fmt("%s (mask %d)", b.name, static_cast<int>(b.mask)); }

// The handler of one row, noting the faults of its bindings.
Handler handler_of(const CommandRow& row, std::span<const BindingList> bindings,
                   std::vector<std::string>& faults) {
    Handler chosen = nullptr;
    int count = 0;
    for (BindingList list : bindings)
        for (const CommandBinding& b : list) {
            if (!binds(b, row)) continue;
            if (++count == 1) chosen = b.handler;
            else faults.push_back("bound twice: " + described(b));
            if (!b.handler) faults.push_back("bound to no handler: " + described(b));
        }
    if (is_keyword(row)) {
        if (count > 0) faults.push_back(fmt("keyword row bound: %s", row.name));
        return nullptr;
    }
    return chosen ? chosen : cmd_not_supported;
}

void note_unmatched(std::span<const CommandRow> rows, std::span<const BindingList> bindings,
                    std::vector<std::string>& faults) {
    for (BindingList list : bindings)
        for (const CommandBinding& b : list) {
            bool matched = false;
            for (const CommandRow& row : rows) matched = matched || binds(b, row);
            if (!matched) faults.push_back("no row: " + described(b));
        }
}

}  // namespace

AssembledCommands assemble_commands(std::span<const CommandRow> rows, std::span<const BindingList> bindings) {
    AssembledCommands out;
    out.rows.reserve(rows.size());
    for (const CommandRow& row : rows)
        out.rows.push_back({row.name, row.cls, row.mask, handler_of(row, bindings, out.faults), row.sample});
    note_unmatched(rows, bindings, out.faults);
    return out;
}

}  // namespace tb
