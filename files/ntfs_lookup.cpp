#include "files/ntfs_lookup.h"

#include "common/text.h"
#include "files/ntfs_directory.h"

namespace tb::ntfs {

namespace {

constexpr size_t kDeepestPath = 1024;

// The record named `name` among `entries`: an exact match first.
std::optional<uint64_t> match(const std::vector<IndexEntry>& entries, const std::string& name) {
    for (const IndexEntry& e : entries)
        if (e.key.name == name) return e.record;
    for (const IndexEntry& e : entries)
        if (iequals(e.key.name, name)) return e.record;
    return std::nullopt;
}

}  // namespace

std::vector<std::string> path_parts(const std::string& path) {
    std::string p = path;
    if (p.size() >= 2 && p[1] == ':') p = p.substr(2);
    std::vector<std::string> out;
    std::string cur;
    for (char c : p) {
        if (c == '\\' || c == '/') {
            if (!cur.empty() && cur != ".") out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty() && cur != ".") out.push_back(cur);
    return out;
}

std::string path_inside_volume(const std::string& path, const std::string& root) {
    auto same = [](char a, char b) {
        if (a == '\\') a = '/';
        if (b == '\\') b = '/';
        return ascii_lower(a) == ascii_lower(b);
    };
    std::string r = root;
    while (!r.empty() && (r.back() == '/' || r.back() == '\\')) r.pop_back();
    if (r.empty() || path.size() < r.size()) return path;
    for (size_t i = 0; i < r.size(); ++i)
        if (!same(path[i], r[i])) return path;
    if (path.size() > r.size() && path[r.size()] != '/' && path[r.size()] != '\\') return path;
    return path.substr(r.size());
}

LookupResult find_record(Volume& volume, const std::vector<std::string>& parts, uint64_t& record, std::string& error,
                         const std::function<void(const std::string& part, uint64_t found)>& step) {
    if (parts.size() > kDeepestPath) {
        error = "Path too deep";
        return LookupResult::Failed;
    }
    uint64_t current = kRootDirectory;
    for (const std::string& part : parts) {
        FileRecord dir;
        if (!volume.read_record(current, dir, error)) return LookupResult::Failed;
        if (!dir.directory()) return LookupResult::NotFound;
        std::vector<IndexEntry> entries;
        if (!directory_entries(volume, dir, entries, error)) return LookupResult::Failed;
        auto found = match(entries, part);
        if (!found) return LookupResult::NotFound;
        if (step) step(part, *found);
        current = *found;
    }
    record = current;
    return LookupResult::Found;
}

}  // namespace tb::ntfs
