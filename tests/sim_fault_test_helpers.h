// A simulated medium of its own for the fault tests: a backing file in a
// temporary folder removed afterwards, with sector-sized helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/backing_store.h"
#include "platform/sim/host_path.h"
#include "tests/temp_dir.h"

namespace tb::sim::test {

class ScratchMedium {
  public:
    static constexpr uint64_t kSize = 16ull << 20;  // 32768 sectors

    ScratchMedium() {
        folder_ = tb::test::make_temp_dir("tamblor-medium");
        reopen();
    }
    ~ScratchMedium() {
        store_.reset();
        std::error_code ec;
        std::filesystem::remove_all(host_path(folder_), ec);
    }
    // A new medium on the same file (as in the next program).
    BackingStore& reopen() {
        store_.reset();
        std::string error;
        store_ = BackingStore::open(folder_ + "/disk.img", kSize, &error);
        if (!store_) ADD_FAILURE() << error;
        return *store_;
    }
    BackingStore& store() { return *store_; }

    static std::vector<uint8_t> pattern(uint8_t seed, size_t sectors = 1) {
        std::vector<uint8_t> v(sectors * 512);
        for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
        return v;
    }
    bool write(uint64_t lba, const std::vector<uint8_t>& data, bool fua = false) {
        return store_->write(lba * 512, data, fua);
    }
    std::vector<uint8_t> read(uint64_t lba, size_t sectors = 1) {
        std::vector<uint8_t> out(sectors * 512, 0xEE);
        if (!store_->read(lba * 512, out)) out.clear();
        return out;
    }

  private:
    std::string folder_;
    std::unique_ptr<BackingStore> store_;
};

// A fault of `kind` firing `count` times on LBAs [first, last] of 512-byte sectors.
inline MediumFault lba_fault(FaultKind kind, uint64_t count, uint64_t first, uint64_t last) {
    MediumFault f;
    f.kind = kind;
    f.count = count;
    f.first_byte = first * 512;
    f.last_byte = last * 512 + 511;
    return f;
}

}  // namespace tb::sim::test
