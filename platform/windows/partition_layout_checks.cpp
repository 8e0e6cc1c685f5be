// Compile-time checks that the partition-layout requests built by hand
// match the system's own structure definitions and control codes.
#include <windows.h>
// clang-format off
#include <winioctl.h>
// clang-format on

#include <cstddef>

#include "platform/partition_layout_requests.h"

namespace tb {

namespace {

static_assert(kIoctlDiskGetDriveLayoutEx == IOCTL_DISK_GET_DRIVE_LAYOUT_EX);
static_assert(kIoctlDiskSetDriveLayoutEx == IOCTL_DISK_SET_DRIVE_LAYOUT_EX);
static_assert(kIoctlDiskCreateDisk == IOCTL_DISK_CREATE_DISK);
static_assert(kIoctlDiskDeleteDriveLayout == IOCTL_DISK_DELETE_DRIVE_LAYOUT);
static_assert(kIoctlDiskUpdateProperties == IOCTL_DISK_UPDATE_PROPERTIES);

static_assert(kStyleMbr == PARTITION_STYLE_MBR && kStyleGpt == PARTITION_STYLE_GPT && kStyleRaw == PARTITION_STYLE_RAW);

static_assert(sizeof(CREATE_DISK) == kCreateDiskBytes);
static_assert(offsetof(CREATE_DISK, Mbr) == 4 && offsetof(CREATE_DISK, Gpt) == 4);
static_assert(offsetof(CREATE_DISK_GPT, MaxPartitionCount) == 16);

static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) == kDriveLayoutHeaderBytes);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Mbr) == 8 && offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt) == 8);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_GPT, StartingUsableOffset) == 16);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_GPT, UsableLength) == 24);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_GPT, MaxPartitionCount) == 32);

static_assert(sizeof(PARTITION_INFORMATION_EX) == kPartitionInformationBytes);
static_assert(offsetof(PARTITION_INFORMATION_EX, StartingOffset) == 8);
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionLength) == 16);
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionNumber) == 24);
static_assert(offsetof(PARTITION_INFORMATION_EX, RewritePartition) == 28);
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr) == 32 && offsetof(PARTITION_INFORMATION_EX, Gpt) == 32);
static_assert(offsetof(PARTITION_INFORMATION_MBR, PartitionType) == 0);
static_assert(offsetof(PARTITION_INFORMATION_MBR, RecognizedPartition) == 2);
static_assert(offsetof(PARTITION_INFORMATION_MBR, HiddenSectors) == 4);
static_assert(offsetof(PARTITION_INFORMATION_GPT, PartitionId) == 16);
static_assert(offsetof(PARTITION_INFORMATION_GPT, Attributes) == 32);
static_assert(offsetof(PARTITION_INFORMATION_GPT, Name) == 40);

}  // namespace

}  // namespace tb
