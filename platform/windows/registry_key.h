// An open registry key, closed when it goes out of scope, with the few value
// operations the program needs. Texts are UTF-8 on our side.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tb {

class RegistryKey {
public:
    // Opens `path` under `root`, creating it when `create` is set.
    RegistryKey(HKEY root, const std::string& path, bool create);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool is_open() const { return key_ != nullptr; }

    bool set_text(const std::string& name, const std::string& value);
    // False when the value is missing or not text.
    bool get_text(const std::string& name, std::string& out) const;
    bool set_number(const std::string& name, uint32_t value);
    // False when the value is missing or not a 32-bit number.
    bool get_number(const std::string& name, uint32_t& out) const;
    bool remove(const std::string& name);
    // The text values of the key (name, value).
    std::vector<std::pair<std::string, std::string>> text_values() const;

private:
    HKEY key_ = nullptr;
};

}  // namespace tb
