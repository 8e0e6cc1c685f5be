#include "disk/disk_record.h"

namespace tb {

DiskTable& disk_table() {
    static DiskTable table;
    return table;
}

DiskRecord& current_target() {
    static DiskRecord target;
    return target;
}

}  // namespace tb
