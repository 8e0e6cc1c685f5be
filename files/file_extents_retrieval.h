// The Windows requests behind a file's map, as bytes: the file system's
// retrieval pointers (clusters of the file in runs) and the volume's logical
// to physical offset (where the volume starts on its disk). Built and read
// here, sent by the Windows volumes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/volumes.h"

namespace tb::winfs {

constexpr uint32_t kFsctlGetRetrievalPointers = 0x00090073;
constexpr uint32_t kIoctlVolumeLogicalToPhysical = 0x00560020;

// One run of the reply: clusters [vcn, next_vcn) of the file at volume
// cluster `lcn` (-1: not on the disk, as in a sparse or compressed range).
struct RetrievalRun {
    uint64_t vcn = 0;
    uint64_t next_vcn = 0;
    int64_t lcn = -1;
};

// STARTING_VCN_INPUT_BUFFER: the file cluster to start the map at.
std::vector<uint8_t> retrieval_pointers_request(uint64_t starting_vcn);

// RETRIEVAL_POINTERS_BUFFER: the extent count, the starting cluster, then
// (next cluster, volume cluster) pairs. False when the bytes do not hold
// the count of runs they claim.
bool read_retrieval_pointers(std::span<const uint8_t> reply, std::vector<RetrievalRun>& out);

// Appends the runs that lie on the disk to `out`, in bytes: each file
// cluster at `volume_start` + lcn * cluster_size.
void append_retrieval_runs(const std::vector<RetrievalRun>& runs, uint32_t cluster_size, uint64_t volume_start,
                           FileExtents& out);

// VOLUME_LOGICAL_OFFSET for logical offset `offset` of the volume.
std::vector<uint8_t> logical_to_physical_request(uint64_t offset);

// VOLUME_PHYSICAL_OFFSETS: the first physical offset; nullopt when the
// reply holds none.
std::optional<uint64_t> read_physical_offset(std::span<const uint8_t> reply);

}  // namespace tb::winfs
