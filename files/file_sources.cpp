#include "files/file_sources.h"

#include "files/file_list.h"
#include "files/file_size.h"
#include "platform/paths.h"

namespace tb {

FilePairs file_pairs(const std::string& source, const std::string& destination) {
    FilePairs out;
    std::vector<std::string> files;
    if (is_folder(source)) {
        out.source_found = true;
        out.many = true;
        files = files_in_folder(source);
    } else if (has_wildcards(path_file_name(source))) {
        files = files_matching(source);
        out.source_found = !files.empty();
        out.many = true;
    } else if (file_size_of(source)) {
        out.source_found = true;
        files.push_back(source);
    }
    const bool into_folder = out.many || is_folder(destination);
    for (const std::string& file : files)
        out.pairs.push_back({file, into_folder ? native_path(path_join(destination, path_file_name(file))) : destination});
    return out;
}

}  // namespace tb
