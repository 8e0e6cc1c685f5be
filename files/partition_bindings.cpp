#include "files/partition_bindings.h"

#include "files/partition_create.h"
#include "files/partition_delete.h"
#include "files/partition_info.h"
#include "files/system_info.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"SystemInfo", cmd_SystemInfo, kMaskAny},
    {"PartitionInfo", cmd_PartitionInfo, kMaskAny},
    {"Partition_Create", cmd_Partition_Create, kMaskAny},
    {"Partition_Delete", cmd_Partition_Delete, kMaskAny},
};

}  // namespace

BindingList partition_bindings() { return kBindings; }

}  // namespace tb
