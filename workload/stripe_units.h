// Random units of a range split into stripes, one per stream: stream s owns
// the units r * streams + s, so that streams never meet on a unit.
#pragma once

#include <cstdint>

#include "workload/crypto_random_pool.h"

namespace tb {

class StripeUnits {
public:
    StripeUnits(uint64_t units, uint32_t streams) : units_(units), streams_(streams ? streams : 1) {}
    // How many units stream `s` owns: units / streams, one more for the
    // first units % streams streams.
    uint64_t share(uint32_t s) const { return units_ / streams_ + (s < units_ % streams_ ? 1 : 0); }
    // The unit of stream `s` numbered `r` (below share(s)).
    uint64_t unit(uint32_t s, uint64_t r) const { return r * streams_ + s; }
    // A unit of stream `s` drawn with eight bytes of the cryptographic
    // random source; false when the stream owns none.
    bool draw(uint32_t s, uint64_t& unit_out);

private:
    uint64_t units_;
    uint32_t streams_;
    CryptoRandomPool random_;
};

}  // namespace tb
