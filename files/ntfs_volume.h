// An NTFS volume opened for walking: its boot sector, the master file
// table's own runs, and file records read by number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/ntfs_file_record.h"
#include "files/ntfs_geometry.h"
#include "files/ntfs_sector_reader.h"

namespace tb::ntfs {

constexpr uint64_t kRootDirectory = 5;

class Volume {
public:
    explicit Volume(SectorReader& reader) : reader_(reader) {}

    // Reads the boot sector and record 0 (the $MFT's runs). False with the
    // reason: "NTFS Signature Error", "MFT Signature Error", "Sector %d
    // CheckWORD  Error", a bad boot sector field, a run past the volume...
    bool open(std::string& error);

    const Geometry& geometry() const { return geometry_; }
    const std::vector<Run>& mft_runs() const { return mft_runs_; }
    // Records the $MFT holds.
    uint64_t record_count() const { return record_count_; }
    // Volume sector of the record's first byte; nullopt past the table.
    std::optional<uint64_t> record_sector(uint64_t record) const;
    // The record whose bytes hold volume cluster `cluster` when it lies in
    // the $MFT's runs.
    std::optional<uint64_t> record_at_cluster(uint64_t cluster, uint32_t sector_in_cluster) const;

    // The record's bytes as they lie on the volume (update sequence not applied).
    bool read_record_bytes(uint64_t record, std::vector<uint8_t>& out, std::string& error);
    // The record decoded; the reason of a failure as decode_file_record() gives it.
    bool read_record(uint64_t record, FileRecord& out, std::string& error);
    // The bytes of a non-resident attribute's clusters, at most `limit` bytes.
    bool read_stream(const Attribute& attribute, uint64_t limit, std::vector<uint8_t>& out, std::string& error);
    bool read_bytes(uint64_t offset, std::span<uint8_t> out) { return reader_.read(offset, out); }

private:
    SectorReader& reader_;
    Geometry geometry_;
    std::vector<Run> mft_runs_;
    uint64_t record_count_ = 0;
};

}  // namespace tb::ntfs
