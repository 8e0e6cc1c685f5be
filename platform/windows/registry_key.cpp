#include "platform/windows/registry_key.h"

#include "platform/windows/host_text.h"

namespace tb {

RegistryKey::RegistryKey(HKEY root, const std::string& path, bool create) {
    const std::wstring wide = host::utf8_to_wide(path);
    HKEY key = nullptr;
    const LONG rc = create ? ::RegCreateKeyExW(root, wide.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                                               nullptr)
                           : ::RegOpenKeyExW(root, wide.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (rc == ERROR_SUCCESS) key_ = key;
}

RegistryKey::~RegistryKey() {
    if (key_) ::RegCloseKey(key_);
}

bool RegistryKey::set_text(const std::string& name, const std::string& value) {
    if (!key_) return false;
    const std::wstring text = host::utf8_to_wide(value);
    return ::RegSetValueExW(key_, host::utf8_to_wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool RegistryKey::get_text(const std::string& name, std::string& out) const {
    if (!key_) return false;
    const std::wstring wide = host::utf8_to_wide(name);
    DWORD bytes = 0;
    if (::RegGetValueW(key_, nullptr, wide.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return false;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(key_, nullptr, wide.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
        return false;
    text.resize(wcsnlen(text.c_str(), text.size()));
    out = host::wide_to_utf8(text);
    return true;
}

bool RegistryKey::set_number(const std::string& name, uint32_t value) {
    if (!key_) return false;
    const DWORD v = value;
    return ::RegSetValueExW(key_, host::utf8_to_wide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                            sizeof v) == ERROR_SUCCESS;
}

bool RegistryKey::get_number(const std::string& name, uint32_t& out) const {
    if (!key_) return false;
    DWORD v = 0, bytes = sizeof v;
    if (::RegGetValueW(key_, nullptr, host::utf8_to_wide(name).c_str(), RRF_RT_REG_DWORD, nullptr, &v, &bytes) !=
        ERROR_SUCCESS)
        return false;
    out = v;
    return true;
}

bool RegistryKey::remove(const std::string& name) {
    return key_ && ::RegDeleteValueW(key_, host::utf8_to_wide(name).c_str()) == ERROR_SUCCESS;
}

std::vector<std::pair<std::string, std::string>> RegistryKey::text_values() const {
    std::vector<std::pair<std::string, std::string>> values;
    if (!key_) return values;
    DWORD count = 0, longest_name = 0;
    if (::RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest_name, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0; i < count; ++i) {
        std::wstring name(longest_name + 1, L'\0');
        DWORD length = static_cast<DWORD>(name.size());
        DWORD type = 0;
        if (::RegEnumValueW(key_, i, name.data(), &length, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) continue;
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        name.resize(length);
        std::string text;
        const std::string utf8 = host::wide_to_utf8(name);
        if (get_text(utf8, text)) values.emplace_back(utf8, text);
    }
    return values;
}

}  // namespace tb
