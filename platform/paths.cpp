#include "platform/paths.h"

namespace tb {

std::string native_path(std::string_view path) {
    std::string out(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

std::string system_spelling(std::string_view path) {
    std::string out(path);
    for (char& c : out)
        if (c == '\\' || c == '/') c = static_cast<char>(std::filesystem::path::preferred_separator);
    return out;
}

std::filesystem::path fs_path(std::string_view path) {
    const std::string native = native_path(path);
    return std::filesystem::path(std::u8string(native.begin(), native.end()));
}

std::string utf8_path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string path_join(std::string_view folder, std::string_view name) {
    std::string f = native_path(folder);
    std::string n = native_path(name);
    if (f.empty()) return n;
    if (f.back() != '/') f += '/';
    while (!n.empty() && n.front() == '/') n.erase(n.begin());
    return f + n;
}

std::string path_folder(std::string_view path) {
    std::string p = native_path(path);
    size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    // A drive's root keeps its separator ("C:" alone names the drive's current folder).
    if (slash == 2 && p[1] == ':') return p.substr(0, 3);
    return p.substr(0, slash);
}

std::string path_file_name(std::string_view path) {
    std::string p = native_path(path);
    size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string path_extension(std::string_view path) {
    std::string name = path_file_name(path);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string path_stem(std::string_view path) {
    std::string name = path_file_name(path);
    std::string ext = path_extension(path);
    return name.substr(0, name.size() - ext.size());
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(fs_path(path), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool folder_exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(fs_path(path), ec);
}

std::string absolute_path(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::absolute(fs_path(path), ec);
    return ec ? native_path(path) : native_path(utf8_path(p.lexically_normal()));
}

}  // namespace tb
