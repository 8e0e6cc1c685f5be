#include "script/var_list.h"

#include "common/format.h"
#include "common/text.h"

namespace tb {

std::string value_text(const Value& v) {
    switch (v.type) {
        case ValueType::Decimal: return fmt("%I64d", v.num);
        case ValueType::Hex: return fmt("0x%I64X", v.num);
        case ValueType::String: return v.str;
        default: return {};
    }
}

std::string VarList::key(std::string_view name) { return to_lower(name); }

const Value* VarList::find(std::string_view name) const {
    auto it = index_.find(key(name));
    return it == index_.end() ? nullptr : &vars_[it->second].value;
}

Value* VarList::find(std::string_view name) {
    auto it = index_.find(key(name));
    return it == index_.end() ? nullptr : &vars_[it->second].value;
}

Variable& VarList::slot_for(std::string_view name) {
    std::string k = key(name);
    auto it = index_.find(k);
    if (it != index_.end()) return vars_[it->second];
    index_.emplace(std::move(k), vars_.size());
    vars_.push_back(Variable{std::string(name), Value{}});
    return vars_.back();
}

void VarList::set_number(std::string_view name, int64_t v, ValueType type) {
    Variable& var = slot_for(name);
    var.value.type = type == ValueType::Hex ? ValueType::Hex : ValueType::Decimal;
    var.value.num = v;
    var.value.str.clear();
}

void VarList::set_string(std::string_view name, std::string_view text) {
    Variable& var = slot_for(name);
    var.value.type = ValueType::String;
    var.value.num = 0;
    var.value.str = utf16_truncate(text, kMaxStringValue);
}

void VarList::set(std::string_view name, const Value& v) {
    if (v.is_string()) set_string(name, v.str);
    else if (v.is_number()) set_number(name, v.num, v.type);
    else {
        Variable& var = slot_for(name);
        var.value = Value{};
    }
}

void VarList::erase(std::string_view name) {
    auto it = index_.find(key(name));
    if (it == index_.end()) return;
    size_t pos = it->second;
    index_.erase(it);
    vars_.erase(vars_.begin() + static_cast<std::ptrdiff_t>(pos));
    for (auto& [k, p] : index_)
        if (p > pos) --p;
}

bool VarList::rename(std::string_view from, std::string_view to) {
    auto it = index_.find(key(from));
    if (it == index_.end()) return false;
    if (iequals(from, to)) return true;
    Value v = std::move(vars_[it->second].value);
    erase(from);
    erase(to);
    Variable& var = slot_for(to);
    var.value = std::move(v);
    return true;
}

void VarList::clear() {
    vars_.clear();
    index_.clear();
}

}  // namespace tb
