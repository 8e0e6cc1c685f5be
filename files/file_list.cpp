#include "files/file_list.h"

#include <algorithm>
#include <filesystem>

#include "common/text.h"
#include "platform/paths.h"

namespace tb {

namespace fs = std::filesystem;

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_plain_file(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

}  // namespace

bool has_wildcards(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

bool wildcard_match(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> files_in_folder(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(fs_path(folder), ec), end; !ec && it != end; it.increment(ec))
        if (is_plain_file(it->path())) out.push_back(utf8_path(it->path()));
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> files_matching(const std::string& path) {
    const std::string name = path_file_name(path);
    if (!has_wildcards(name)) {
        if (is_plain_file(fs_path(path))) return {path};
        return {};
    }
    const std::string parent = path_folder(path);
    const std::string folder = parent.empty() ? std::string(".") : parent;
    std::vector<std::string> out;
    for (const std::string& file : files_in_folder(folder))
        if (wildcard_match(name, path_file_name(file))) out.push_back(file);
    return out;
}

}  // namespace tb
