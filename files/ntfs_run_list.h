// Run lists of non-resident NTFS attributes: each run a header byte (low
// nibble: size of the length field, high nibble: size of the offset field),
// the run's length in clusters and its start as a signed delta from the
// previous run's start; a zero header ends the list.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tb::ntfs {

struct Run {
    uint64_t vcn = 0;       // first cluster of the run inside the attribute
    int64_t lcn = -1;       // first cluster on the volume; -1 for a sparse run (no clusters)
    uint64_t clusters = 0;

    bool sparse() const { return lcn < 0; }
    bool covers_cluster(uint64_t cluster) const {
        return !sparse() && cluster >= static_cast<uint64_t>(lcn) && cluster - static_cast<uint64_t>(lcn) < clusters;
    }
};

// Decodes `bytes` starting at cluster `first_vcn` of the attribute. False
// with the reason when a run leaves the bytes, has no length, or lands before
// cluster 0 or past `volume_clusters` (0: not checked).
bool decode_run_list(std::span<const uint8_t> bytes, uint64_t first_vcn, uint64_t volume_clusters,
                     std::vector<Run>& out, std::string& error);

// The volume cluster of attribute cluster `vcn`; -1 when no run holds it or
// it lies in a sparse run.
int64_t cluster_of(const std::vector<Run>& runs, uint64_t vcn);

}  // namespace tb::ntfs
