#include "script/extra_commands.h"

#include <memory>
#include <mutex>

namespace tb {

namespace {

// One install: the owned texts and the entries that point into them.
struct ExtraSet {
    std::vector<ExtraCommand> commands;
    std::vector<CommandEntry> entries;
};

std::mutex g_lock;  // guards g_sets
// Every install is kept to the end of the process, so that an entry handed
// out by a lookup never dangles; installs happen once or twice per run.
std::vector<std::unique_ptr<const ExtraSet>> g_sets;

bool addable(const ExtraCommand& c) {
    return !c.name.empty() && (c.cls == StatementClass::Device || c.cls == StatementClass::Builtin);
}

}  // namespace

void install_extra_commands(std::vector<ExtraCommand> commands) {
    auto set = std::make_unique<ExtraSet>();
    for (ExtraCommand& c : commands)
        if (addable(c)) set->commands.push_back(std::move(c));
    set->entries.reserve(set->commands.size());
    for (const ExtraCommand& c : set->commands)
        set->entries.push_back(
            {c.name.c_str(), c.cls, c.mask, c.handler ? c.handler : cmd_not_supported, c.sample.c_str()});
    std::lock_guard<std::mutex> hold(g_lock);
    g_sets.push_back(std::move(set));
}

std::span<const CommandEntry> extra_commands() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_sets.empty()) return {};
    return g_sets.back()->entries;
}

}  // namespace tb
