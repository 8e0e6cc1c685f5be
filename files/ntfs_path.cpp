#include "files/ntfs_path.h"

#include <set>

#include "common/format.h"
#include "files/ntfs_file_name.h"

namespace tb::ntfs {

namespace {

constexpr size_t kDeepestPath = 1024;

}  // namespace

std::string record_name(const FileRecord& record, uint64_t* parent) {
    std::string best;
    bool have = false, have_long = false;
    for (const Attribute& a : record.attributes) {
        if (a.type != kAttrFileName || !a.resident) continue;
        auto f = decode_file_name(a.value);
        if (!f) continue;
        const bool is_long = f->name_space != kNamespaceDos;
        if (!have || (is_long && !have_long)) {
            best = f->name;
            if (parent) *parent = f->parent;
            have = true;
            have_long = is_long;
        }
    }
    return best;
}

bool build_path(Volume& volume, uint64_t record, const std::string& prefix, std::vector<PathStep>& steps,
                std::string& path, std::string& error) {
    steps.clear();
    std::set<uint64_t> seen;
    std::vector<std::string> names;
    for (uint64_t current = record; current != kRootDirectory;) {
        if (!seen.insert(current).second || steps.size() >= kDeepestPath) {
            error = fmt("File System Loop at MftId:0x%08I64X", current);
            return false;
        }
        FileRecord r;
        if (!volume.read_record(current, r, error)) {
            error = fmt("MftId:0x%08I64X %s", current, error);
            return false;
        }
        if (r.base_record) {
            current = r.base_record;
            continue;
        }
        PathStep step;
        step.record = current;
        step.name = record_name(r, &step.parent);
        if (step.name.empty()) {
            error = fmt("MftId:0x%08I64X has no file name", current);
            return false;
        }
        names.push_back(step.name);
        steps.push_back(step);
        current = step.parent;
    }
    path = prefix;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path = fmt("%s\\%s", path, *it);
    if (names.empty()) path += "\\";
    return true;
}

}  // namespace tb::ntfs
