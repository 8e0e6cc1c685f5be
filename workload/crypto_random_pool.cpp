#include "workload/crypto_random_pool.h"

#include "workload/pattern.h"

namespace tb {

uint64_t CryptoRandomPool::next64() {
    if (used_ == kWords) {
        crypto_random_fill(words_.data(), sizeof words_);
        used_ = 0;
    }
    const uint64_t v = words_[used_];
    words_[used_++] = 0;  // a draw is never handed out twice
    return v;
}

}  // namespace tb
