// The decisions of the Windows block storage, kept apart from its system
// calls: the path a storage address opens, the flags of its handles, when a
// volume is locked and dismounted before raw I/O, and how the system's error
// numbers reach the engine (as -errno, like every queue's results).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/block_storage.h"

namespace tb::winio {

// CreateFile flags and attributes (values of the system's headers).
constexpr uint32_t kFlagWriteThrough = 0x80000000;
constexpr uint32_t kFlagOverlapped = 0x40000000;
constexpr uint32_t kFlagNoBuffering = 0x20000000;
constexpr uint32_t kAttributeNormal = 0x00000080;

// The device a storage address opens: its volume "\\.\D:" when it names a
// volume, else its drive "\\.\PHYSICALDRIVE<n>".
std::string device_path_for(const StorageAddress& where);

// Whether `path` names a device of the "\\.\" namespace (a drive, a volume,
// a SCSI port) rather than a file.
bool is_device_namespace(std::string_view path);

// The flags of one queue's handle: always overlapped; unbuffered when
// direct; the write-through variant (for forced-unit-access writes) adds
// write-through.
uint32_t handle_flags(bool direct, bool write_through);

// Whether raw I/O on this address first locks and dismounts its volume (the
// file system would otherwise refuse writes to the sectors it owns). Whole
// drives are never locked (raw writes are only allowed on drives without
// volumes), nor the system volume C:.
bool lock_volume_for_raw_io(const StorageAddress& where);

// The -errno of a system error number of a failed request.
int32_t errno_from_system_error(uint32_t error);

// The result of one finished request as the queue reports it: the bytes
// done, 0 for a read at or beyond the end of a file (a short transfer the
// caller judges), else the -errno of the error.
int32_t completion_result(bool succeeded, uint32_t bytes, uint32_t error);

// The system errors named by the queue.
constexpr uint32_t kErrorIoPending = 997;
constexpr uint32_t kErrorOperationAborted = 995;
constexpr uint32_t kErrorHandleEof = 38;

}  // namespace tb::winio
