#include "files/ntfs_get_file_by_mft_id.h"

#include <limits>

#include "common/format.h"
#include "files/ntfs_job_volume.h"
#include "files/ntfs_path.h"
#include "files/ntfs_record_lines.h"
#include "script/arg_table.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"MftId", "", ArgType::Number, "0", 0, std::numeric_limits<int64_t>::max()},
};

}  // namespace

void cmd_GetFileByMftId(int slot, const std::string& args, const std::string& name) {
    write_line(slot, fmt("%s(%s);", name, args), LineFormat::CommandHeader, 10, colour::kWhite);
    auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const uint64_t wanted = static_cast<uint64_t>(a->number("MftId"));
    auto v = ntfs::open_job_volume(slot);
    if (!v || !ntfs::open_file_system(slot, *v)) return;
    ntfs::print_volume_start(slot, *v);
    ntfs::print_mft_map(slot, *v);
    ntfs::FileRecord record;
    std::string reason;
    if (!ntfs::print_record(slot, *v, wanted, record, reason) || !ntfs::print_details(slot, *v, record, reason)) {
        ntfs::walk_failed(slot, reason);
        return;
    }
    set_result_string(slot, name, ntfs::record_name(record));
}

}  // namespace tb
