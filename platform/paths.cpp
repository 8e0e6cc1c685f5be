#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

namespace tb {

std::string native_path(std::string_view path) {
    std::string out(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
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
    struct stat st {};
    return ::stat(native_path(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folder_exists(const std::string& path) {
    struct stat st {};
    return ::stat(native_path(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string absolute_path(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::absolute(native_path(path), ec);
    return ec ? native_path(path) : p.lexically_normal().string();
}

bool is_system_folder(const std::string& folder) {
    const std::string path = absolute_path(folder);
    // A folder still to be made is judged by the nearest one that exists.
    std::string existing = path;
    while (!folder_exists(existing) && existing.size() > 1) existing = path_folder(existing);
    if (::access(existing.c_str(), W_OK) != 0) return true;
    static constexpr const char* kSystemRoots[] = {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64",
                                                   "/libx32", "/opt", "/etc", "/boot", "/snap"};
    for (const char* root : kSystemRoots) {
        const std::string_view r(root);
        if (path == r || (path.size() > r.size() && path.compare(0, r.size(), r) == 0 && path[r.size()] == '/'))
            return true;
    }
    return false;
}

std::string program_path() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace tb
