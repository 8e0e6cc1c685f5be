#include "workload/stripe_units.h"

namespace tb {

bool StripeUnits::draw(uint32_t s, uint64_t& unit_out) {
    const uint64_t n = share(s);
    if (n == 0) return false;
    unit_out = unit(s, random_.next64() % n);
    return true;
}

}  // namespace tb
