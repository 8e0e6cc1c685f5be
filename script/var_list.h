// The per-job variable store. Names are compared case-insensitively and
// variables are kept in creation order (the order the state files use).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "script/value.h"

namespace tb {

struct Variable {
    std::string name;
    Value value;
};

class VarList {
public:
    // nullptr when no variable of that name exists.
    const Value* find(std::string_view name) const;
    Value* find(std::string_view name);

    void set_number(std::string_view name, int64_t v, ValueType type = ValueType::Decimal);
    void set_string(std::string_view name, std::string_view text);
    void set(std::string_view name, const Value& v);
    // Renames `from` to `to`; an existing variable named `to` is replaced.
    bool rename(std::string_view from, std::string_view to);
    void clear();
    bool empty() const { return vars_.empty(); }
    size_t size() const { return vars_.size(); }
    // Every variable, in creation order.
    const std::vector<Variable>& variables() const { return vars_; }

private:
    Variable& slot_for(std::string_view name);
    void erase(std::string_view name);
    static std::string key(std::string_view name);

    std::vector<Variable> vars_;
    std::unordered_map<std::string, size_t> index_;  // lower-cased name -> position in vars_
};

}  // namespace tb
