#include "random_generator.h"

#include <algorithm>

#include "wide_vectors.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(TALVANE_WIDE_VECTORS)
#include <immintrin.h>
#endif

namespace talvane {

namespace {

std::uint32_t twisted(std::uint32_t current, std::uint32_t next, std::uint32_t far) {
    const std::uint32_t y = (current & 0x80000000u) | (next & 0x7fffffffu);
    return far ^ (y >> 1) ^ ((0u - (y & 1u)) & 0x9908b0dfu);
}

#if defined(__SSE2__)

__m128i load4(const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store4(std::uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// twisted() for four consecutive words at once.
__m128i twisted4(__m128i current, __m128i next, __m128i far) {
    const __m128i y = _mm_or_si128(_mm_and_si128(current, _mm_set1_epi32(static_cast<int>(0x80000000u))),
                                   _mm_and_si128(next, _mm_set1_epi32(0x7fffffff)));
    const __m128i odd = _mm_cmpeq_epi32(_mm_and_si128(y, _mm_set1_epi32(1)), _mm_set1_epi32(1));
    const __m128i matrix = _mm_and_si128(odd, _mm_set1_epi32(static_cast<int>(0x9908b0dfu)));
    return _mm_xor_si128(_mm_xor_si128(far, _mm_srli_epi32(y, 1)), matrix);
}

__m128i temper4(__m128i y) {
    y = _mm_xor_si128(y, _mm_srli_epi32(y, 11));
    y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi32(y, 7), _mm_set1_epi32(static_cast<int>(0x9d2c5680u))));
    y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi32(y, 15), _mm_set1_epi32(static_cast<int>(0xefc60000u))));
    return _mm_xor_si128(y, _mm_srli_epi32(y, 18));
}

#endif

#if defined(TALVANE_WIDE_VECTORS)

[[gnu::target("avx2")]] inline __m256i load8(const std::uint32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

[[gnu::target("avx2")]] inline void store8(std::uint32_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// twisted() for eight consecutive words at once.
[[gnu::target("avx2")]] inline __m256i twisted8(__m256i current, __m256i next, __m256i far) {
    const __m256i y = _mm256_or_si256(_mm256_and_si256(current, _mm256_set1_epi32(static_cast<int>(0x80000000u))),
                                      _mm256_and_si256(next, _mm256_set1_epi32(0x7fffffff)));
    const __m256i odd = _mm256_cmpeq_epi32(_mm256_and_si256(y, _mm256_set1_epi32(1)), _mm256_set1_epi32(1));
    const __m256i matrix = _mm256_and_si256(odd, _mm256_set1_epi32(static_cast<int>(0x9908b0dfu)));
    return _mm256_xor_si256(_mm256_xor_si256(far, _mm256_srli_epi32(y, 1)), matrix);
}

[[gnu::target("avx2")]] inline __m256i temper8(__m256i y) {
    y = _mm256_xor_si256(y, _mm256_srli_epi32(y, 11));
    y = _mm256_xor_si256(y, _mm256_and_si256(_mm256_slli_epi32(y, 7), _mm256_set1_epi32(static_cast<int>(0x9d2c5680u))));
    y = _mm256_xor_si256(y, _mm256_and_si256(_mm256_slli_epi32(y, 15), _mm256_set1_epi32(static_cast<int>(0xefc60000u))));
    return _mm256_xor_si256(y, _mm256_srli_epi32(y, 18));
}

// The refill with eight words at a time; the same reasoning as in twist()
// holds for eight consecutive words as for four.
[[gnu::target("avx2")]] void twistWide(std::uint32_t* state, int size, int shift) {
    const int split = size - shift;
    const int firstBlocksEnd = split / 8 * 8;
    const int secondBlocksEnd = split + (size - 1 - split) / 8 * 8;
    for (int k = 0; k < firstBlocksEnd; k += 8) {
        store8(state + k, twisted8(load8(state + k), load8(state + k + 1), load8(state + k + shift)));
    }
    for (int k = firstBlocksEnd; k < split; ++k) state[k] = twisted(state[k], state[k + 1], state[k + shift]);
    for (int k = split; k < secondBlocksEnd; k += 8) {
        store8(state + k, twisted8(load8(state + k), load8(state + k + 1), load8(state + k - split)));
    }
    for (int k = secondBlocksEnd; k < size - 1; ++k) state[k] = twisted(state[k], state[k + 1], state[k - split]);
    state[size - 1] = twisted(state[size - 1], state[0], state[shift - 1]);
}

// Tempers count words into out, eight at a time; returns how many it did.
[[gnu::target("avx2")]] int temperWide(const std::uint32_t* state, std::uint32_t* out, int count) {
    int k = 0;
    for (; k + 8 <= count; k += 8) store8(out + k, temper8(load8(state + k)));
    return k;
}

#endif

}  // namespace

void Mt19937::seed(std::uint32_t seed) {
    state_[0] = seed;
    for (int k = 1; k < kStateSize; ++k) {
        state_[k] = 1812433253u * (state_[k - 1] ^ (state_[k - 1] >> 30)) + static_cast<std::uint32_t>(k);
    }
    index_ = kStateSize;
}

Mt19937::State Mt19937::state() const {
    State out;
    std::copy(state_, state_ + kStateSize, out.words.begin());
    out.index = index_;
    return out;
}

bool Mt19937::setState(const State& state) {
    if (state.index < 0 || state.index > kStateSize) return false;
    std::copy(state.words.begin(), state.words.end(), state_);
    index_ = state.index;
    temperAll();
    ready_ = kStateSize;
    return true;
}

void Mt19937::refillForNext() {
    if (index_ == kStateSize) twist();
    temperAll();
    ready_ = kStateSize;
}

void Mt19937::temperAll() {
    int k = 0;
#if defined(TALVANE_WIDE_VECTORS)
    if (detail::wideVectorsInUse()) k = temperWide(state_, tempered_, kStateSize);
#endif
#if defined(__SSE2__)
    for (; k + 4 <= kStateSize; k += 4) store4(tempered_ + k, temper4(load4(state_ + k)));
#endif
    for (; k < kStateSize; ++k) tempered_[k] = temper(state_[k]);
}

void Mt19937::twist() {
    // Word k takes words k + 1 and k + 397 as they were before this twist, or
    // for k >= 227 the already new word k - 227: every four consecutive words
    // can be made at once, since none reads a word the same four write.
    constexpr int kSplit = kStateSize - kShift;
#if defined(TALVANE_WIDE_VECTORS)
    if (detail::wideVectorsInUse()) {
        twistWide(state_, kStateSize, kShift);
        index_ = 0;
        return;
    }
#endif
#if defined(__SSE2__)
    constexpr int kFirstBlocksEnd = kSplit / 4 * 4;
    constexpr int kSecondBlocksEnd = kSplit + (kStateSize - 1 - kSplit) / 4 * 4;
    for (int k = 0; k < kFirstBlocksEnd; k += 4) {
        store4(state_ + k, twisted4(load4(state_ + k), load4(state_ + k + 1), load4(state_ + k + kShift)));
    }
#else
    constexpr int kFirstBlocksEnd = 0;
    constexpr int kSecondBlocksEnd = kSplit;
#endif
    for (int k = kFirstBlocksEnd; k < kSplit; ++k) state_[k] = twisted(state_[k], state_[k + 1], state_[k + kShift]);
#if defined(__SSE2__)
    for (int k = kSplit; k < kSecondBlocksEnd; k += 4) {
        store4(state_ + k, twisted4(load4(state_ + k), load4(state_ + k + 1), load4(state_ + k - kSplit)));
    }
#endif
    for (int k = kSecondBlocksEnd; k < kStateSize - 1; ++k) {
        state_[k] = twisted(state_[k], state_[k + 1], state_[k - kSplit]);
    }
    state_[kStateSize - 1] = twisted(state_[kStateSize - 1], state_[0], state_[kShift - 1]);
    index_ = 0;
}

void Mt19937::fill(std::uint32_t* out, int count) {
    // Tempers straight from the state into out; a refill made here leaves
    // tempered_ behind, to be tempered when next() first needs it.
    while (count > 0) {
        if (index_ == kStateSize) {
            twist();
            ready_ = 0;
        }
        const int n = std::min(count, kStateSize - index_);
        int k = 0;
#if defined(TALVANE_WIDE_VECTORS)
        if (detail::wideVectorsInUse()) k = temperWide(state_ + index_, out, n);
#endif
#if defined(__SSE2__)
        for (; k + 4 <= n; k += 4) store4(out + k, temper4(load4(state_ + index_ + k)));
#endif
        for (; k < n; ++k) out[k] = temper(state_[index_ + k]);
        index_ += n;
        out += n;
        count -= n;
    }
}

void Mt19937::fillLowBytes(std::uint8_t* out, int count) {
    std::uint32_t words[kStateSize];
    while (count > 0) {
        const int n = std::min(count, kStateSize);
        fill(words, n);
        int k = 0;
#if defined(__SSE2__)
        // Sixteen at a time: the low bytes, packed without saturating.
        const __m128i low = _mm_set1_epi32(0xff);
        for (; k + 16 <= n; k += 16) {
            const __m128i a = _mm_packs_epi32(_mm_and_si128(load4(words + k), low), _mm_and_si128(load4(words + k + 4), low));
            const __m128i b = _mm_packs_epi32(_mm_and_si128(load4(words + k + 8), low), _mm_and_si128(load4(words + k + 12), low));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(a, b));
        }
#endif
        for (; k < n; ++k) out[k] = static_cast<std::uint8_t>(words[k]);
        out += n;
        count -= n;
    }
}

}  // namespace talvane
