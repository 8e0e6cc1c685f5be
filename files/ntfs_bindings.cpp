#include "files/ntfs_bindings.h"

#include "files/ntfs_get_file_by_lba.h"
#include "files/ntfs_get_file_by_mft_id.h"
#include "files/ntfs_get_file_lba.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"GetFileLBA", cmd_GetFileLBA},
    {"GetFileByLBA", cmd_GetFileByLBA},
    {"GetFileByMftId", cmd_GetFileByMftId},
};

}  // namespace

BindingList ntfs_bindings() { return kBindings; }

}  // namespace tb
