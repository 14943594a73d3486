// The 32-bit Mersenne Twister (MT19937), the default hosts' random generator.
// Its numbers are those of std::mt19937 for the same seed; it keeps its state
// in 32-bit words and hands out numbers in bulk, which is several times
// faster when a generation draws one number per cell.
#pragma once

#include <array>
#include <cstdint>

namespace talvane {

class Mt19937 {
public:
    static constexpr std::uint32_t kDefaultSeed = 5489u;

    explicit Mt19937(std::uint32_t seed = kDefaultSeed) { this->seed(seed); }

    // Restarts the sequence from seed, as std::mt19937::seed does.
    void seed(std::uint32_t seed);

    // The next number, uniform over 0 .. 2^32 - 1.
    std::uint32_t next() {
        if (index_ >= ready_) refillForNext();
        return tempered_[index_++];
    }

    // The next count numbers, in order.
    void fill(std::uint32_t* out, int count);
    // The low eight bits of each of the next count numbers, in order: the
    // same numbers as fill, for a consumer that needs no more of each.
    void fillLowBytes(std::uint8_t* out, int count);

    static constexpr int kStateSize = 624;

    // The generator's whole state: its 624 words and how many of them have
    // been handed out since the last refill. A generator given this state
    // continues with exactly the same numbers.
    struct State {
        std::array<std::uint32_t, kStateSize> words{};
        int index = kStateSize;  // 0 .. kStateSize
    };
    State state() const;
    // False (and nothing changed) when the index lies outside 0 .. kStateSize.
    bool setState(const State& state);

private:
    static constexpr int kShift = 397;

    static std::uint32_t temper(std::uint32_t y) {
        y ^= y >> 11;
        y ^= (y << 7) & 0x9d2c5680u;
        y ^= (y << 15) & 0xefc60000u;
        y ^= y >> 18;
        return y;
    }

    // Makes the next 624 words.
    void twist();
    // Tempers all 624 words at once into tempered_, for next().
    void temperAll();
    // Twists when every word is handed out, and tempers the words for next().
    void refillForNext();

    std::uint32_t state_[kStateSize];
    std::uint32_t tempered_[kStateSize] = {};  // the numbers state_ hands out, tempered in bulk
    int index_ = kStateSize;
    // tempered_ holds the tempered words up to here: kStateSize when it is
    // current, 0 when fill() made a refill and tempered only what it took.
    int ready_ = kStateSize;
};

namespace detail {

// Bulk numbers from the calling thread's default generator (the one behind
// Host::nextRandom and Host::seedRandom).
void fillFromThreadGenerator(std::uint32_t* out, int count);

}  // namespace detail

}  // namespace talvane
