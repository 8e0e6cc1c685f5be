// Compile-time checks that the request layouts the disk layer writes by hand
// match the system's own structure definitions and control codes.
#include <windows.h>
// clang-format off
#include <winioctl.h>
#include <ntddscsi.h>
#include <ntddstor.h>
// clang-format on

#include <cstddef>

#include "disk/nvme_requests.h"
#include "disk/windows_replies.h"
#include "disk/windows_requests.h"
#include "platform/windows_io_rules.h"

namespace tb::windisk {

namespace {

// Control codes.
static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY);
static_assert(kIoctlStorageProtocolCommand == IOCTL_STORAGE_PROTOCOL_COMMAND);
static_assert(kIoctlStorageFirmwareDownload == IOCTL_STORAGE_FIRMWARE_DOWNLOAD);
static_assert(kIoctlStorageFirmwareActivate == IOCTL_STORAGE_FIRMWARE_ACTIVATE);
static_assert(kIoctlStorageReinitializeMedia == IOCTL_STORAGE_REINITIALIZE_MEDIA);
static_assert(kIoctlScsiMiniport == IOCTL_SCSI_MINIPORT);
static_assert(kIoctlScsiPassThroughDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT);
static_assert(winreq::kIoctlStorageGetDeviceNumber == IOCTL_STORAGE_GET_DEVICE_NUMBER);
static_assert(winreq::kIoctlStorageManageDataSetAttributes == IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES);
static_assert(winreq::kIoctlScsiGetAddress == IOCTL_SCSI_GET_ADDRESS);
static_assert(winreq::kIoctlAtaPassThrough == IOCTL_ATA_PASS_THROUGH);
static_assert(winreq::kIoctlDiskGetDriveGeometryEx == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX);
static_assert(winreq::kIoctlDiskGetLengthInfo == IOCTL_DISK_GET_LENGTH_INFO);
static_assert(winreq::kIoctlVolumeGetVolumeDiskExtents == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS);
static_assert(winreq::kFsctlLockVolume == FSCTL_LOCK_VOLUME);
static_assert(winreq::kFsctlUnlockVolume == FSCTL_UNLOCK_VOLUME);
static_assert(winreq::kFsctlDismountVolume == FSCTL_DISMOUNT_VOLUME);
static_assert(winreq::kFsctlAllowExtendedDasdIo == FSCTL_ALLOW_EXTENDED_DASD_IO);
static_assert(winreq::kFsctlSetCompression == FSCTL_SET_COMPRESSION);

// Handle flags and the queue's error numbers.
static_assert(winio::kFlagWriteThrough == FILE_FLAG_WRITE_THROUGH);
static_assert(winio::kFlagOverlapped == FILE_FLAG_OVERLAPPED);
static_assert(winio::kFlagNoBuffering == FILE_FLAG_NO_BUFFERING);
static_assert(winio::kAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(winio::kErrorIoPending == ERROR_IO_PENDING);
static_assert(winio::kErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(winio::kErrorHandleEof == ERROR_HANDLE_EOF);

// SCSI_PASS_THROUGH_DIRECT.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == winreq::sptd::kStructSize);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus) == winreq::sptd::kScsiStatus);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength) == winreq::sptd::kCdbLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength) == winreq::sptd::kSenseInfoLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == winreq::sptd::kDataIn);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == winreq::sptd::kTransferLength);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == winreq::sptd::kTimeout);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == winreq::sptd::kDataBuffer);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == winreq::sptd::kSenseOffset);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == winreq::sptd::kCdb);
static_assert(SCSI_IOCTL_DATA_OUT == winreq::sptd::kDataOut && SCSI_IOCTL_DATA_IN == winreq::sptd::kDataInFlag &&
              SCSI_IOCTL_DATA_UNSPECIFIED == winreq::sptd::kNoData);

// ATA_PASS_THROUGH_EX.
static_assert(sizeof(ATA_PASS_THROUGH_EX) == winreq::apt::kStructSize);
static_assert(offsetof(ATA_PASS_THROUGH_EX, AtaFlags) == winreq::apt::kFlags);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataTransferLength) == winreq::apt::kTransferLength);
static_assert(offsetof(ATA_PASS_THROUGH_EX, TimeOutValue) == winreq::apt::kTimeout);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataBufferOffset) == winreq::apt::kDataOffset);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PreviousTaskFile) == winreq::apt::kPrevious);
static_assert(offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) == winreq::apt::kCurrent);
static_assert(ATA_FLAGS_DRDY_REQUIRED == kAtaDriveReady && ATA_FLAGS_DATA_IN == kAtaDataIn &&
              ATA_FLAGS_DATA_OUT == kAtaDataOut && ATA_FLAGS_48BIT_COMMAND == kAtaExt &&
              ATA_FLAGS_USE_DMA == kAtaDma);

// The discovery replies.
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia) == 10);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset) == 16);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset) == 20);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36);
constexpr bool same_bus(STORAGE_BUS_TYPE system, BusType ours) {
    return static_cast<uint32_t>(system) == static_cast<uint32_t>(ours);
}
static_assert(same_bus(BusTypeNvme, kBusNvme) && same_bus(BusTypeSata, kBusSata) && same_bus(BusTypeUsb, kBusUsb) &&
              same_bus(BusTypeRAID, kBusRaid) && same_bus(BusTypeSas, kBusSas));
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12 && offsetof(STORAGE_DEVICE_NUMBER, DeviceNumber) == 4);
static_assert(FILE_DEVICE_DISK == 7);
static_assert(sizeof(SCSI_ADDRESS) == 8 && offsetof(SCSI_ADDRESS, PortNumber) == 4 &&
              offsetof(SCSI_ADDRESS, PathId) == 5 && offsetof(SCSI_ADDRESS, TargetId) == 6 &&
              offsetof(SCSI_ADDRESS, Lun) == 7);
static_assert(offsetof(DISK_GEOMETRY_EX, Geometry) + offsetof(DISK_GEOMETRY, BytesPerSector) == 20);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24 && offsetof(DISK_GEOMETRY_EX, Data) == 32);
static_assert(sizeof(GET_LENGTH_INFORMATION) == 8);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == winreq::kExtentsHeader);
static_assert(sizeof(DISK_EXTENT) == winreq::kExtentSize && offsetof(DISK_EXTENT, StartingOffset) == 8 &&
              offsetof(DISK_EXTENT, ExtentLength) == 16);

// The storage protocol requests of the NVMe paths.
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == spq::kProtocolType);
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == spq::kSpecificDataSize);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue4) + 8 == spq::kSubValue4);
static_assert(StorageAdapterProtocolSpecificProperty == spq::kAdapterProtocolSpecific &&
              StorageDeviceProtocolSpecificProperty == spq::kDeviceProtocolSpecific);
static_assert(ProtocolTypeNvme == kProtocolTypeNvme);
static_assert(NVMeDataTypeIdentify == spq::kDataIdentify && NVMeDataTypeLogPage == spq::kDataLogPage &&
              NVMeDataTypeFeature == spq::kDataFeature);
// (The system headers here lack STORAGE_PROTOCOL_COMMAND and the hardware
// firmware structures; their layouts are checked byte by byte in the tests.)
static_assert(sizeof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES) == winreq::dsm::kStructSize);
static_assert(sizeof(DEVICE_DATA_SET_RANGE) == winreq::dsm::kRangeSize);
static_assert(sizeof(SRB_IO_CONTROL) == srb::kHeaderSize);

}  // namespace

}  // namespace tb::windisk
