#include "workload/stripe_units.h"

#include "workload/pattern.h"

namespace tb {

bool StripeUnits::draw(uint32_t s, uint64_t& unit_out) const {
    const uint64_t n = share(s);
    if (n == 0) return false;
    unit_out = unit(s, crypto_random64() % n);
    return true;
}

}  // namespace tb
