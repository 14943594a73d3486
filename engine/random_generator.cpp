#include "random_generator.h"

#include <algorithm>

namespace talvane {

namespace {

std::uint32_t twisted(std::uint32_t current, std::uint32_t next, std::uint32_t far) {
    const std::uint32_t y = (current & 0x80000000u) | (next & 0x7fffffffu);
    return far ^ (y >> 1) ^ ((0u - (y & 1u)) & 0x9908b0dfu);
}

}  // namespace

void Mt19937::seed(std::uint32_t seed) {
    state_[0] = seed;
    for (int k = 1; k < kStateSize; ++k) {
        state_[k] = 1812433253u * (state_[k - 1] ^ (state_[k - 1] >> 30)) + static_cast<std::uint32_t>(k);
    }
    index_ = kStateSize;
}

void Mt19937::twist() {
    // Three loops without wrap-around tests, so the compiler can vectorise them.
    constexpr int kSplit = kStateSize - kShift;
    for (int k = 0; k < kSplit; ++k) state_[k] = twisted(state_[k], state_[k + 1], state_[k + kShift]);
    for (int k = kSplit; k < kStateSize - 1; ++k) {
        state_[k] = twisted(state_[k], state_[k + 1], state_[k - kSplit]);
    }
    state_[kStateSize - 1] = twisted(state_[kStateSize - 1], state_[0], state_[kShift - 1]);
    index_ = 0;
}

void Mt19937::fill(std::uint32_t* out, int count) {
    while (count > 0) {
        if (index_ == kStateSize) twist();
        const int n = std::min(count, kStateSize - index_);
        for (int k = 0; k < n; ++k) out[k] = temper(state_[index_ + k]);
        index_ += n;
        out += n;
        count -= n;
    }
}

}  // namespace talvane
