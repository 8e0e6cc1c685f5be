// Where the NTFS walker reads a volume's sectors from: an opened volume (or a
// disk window onto it) through the block-storage seam, or bytes in memory.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tb {
class IoTarget;
}

namespace tb::ntfs {

class SectorReader {
public:
    virtual ~SectorReader() = default;
    // Reads out.size() bytes from byte `offset` of the volume; false when
    // they leave the volume or the read fails.
    virtual bool read(uint64_t offset, std::span<uint8_t> out) = 0;
    // The volume's length in bytes (0 when unknown).
    virtual uint64_t size_bytes() const = 0;
};

// Over an opened target, read in whole sectors of the target (kept alive by
// the caller).
class TargetSectorReader final : public SectorReader {
public:
    explicit TargetSectorReader(IoTarget& target) : target_(target) {}
    bool read(uint64_t offset, std::span<uint8_t> out) override;
    uint64_t size_bytes() const override;

private:
    IoTarget& target_;
};

// Over bytes in memory (tests, images read whole).
class MemorySectorReader final : public SectorReader {
public:
    explicit MemorySectorReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool read(uint64_t offset, std::span<uint8_t> out) override;
    uint64_t size_bytes() const override { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace tb::ntfs
