// The default random generator: the Mersenne Twister sequence per thread,
// reseeded from a number, the same one by one and in bulk.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "headless_host.h"
#include "wide_vectors.h"

namespace talvane {
namespace {

TEST(RandomNumbers, SequenceIsTheMersenneTwisters) {
    HeadlessHost host;
    struct WideAgain {
        ~WideAgain() { detail::allowWideVectors(true); }
    } wideAgain;
    // With the wide vector code where the processor has it, then with the baseline code.
    for (const bool wide : {true, false}) {
        detail::allowWideVectors(wide);
        for (std::uint32_t seed : {0u, 1u, 5489u, 1'700'000'000u, 0xffffffffu}) {
            host.seedRandom(seed);
            std::mt19937 reference(seed);
            // One by one and in bulk, across several refills of the generator's state.
            for (int i = 0; i < 700; ++i) ASSERT_EQ(host.nextRandom(), reference()) << seed << " #" << i;
            std::vector<std::uint32_t> bulk(5000);
            host.fillRandom(bulk.data(), static_cast<int>(bulk.size()));
            for (std::size_t i = 0; i < bulk.size(); ++i) {
                ASSERT_EQ(bulk[i], reference()) << seed << " bulk #" << i << (wide ? " wide" : " baseline");
            }
            ASSERT_EQ(host.nextRandom(), reference());
        }
    }
}

TEST(RandomNumbers, EachThreadHasItsOwnGenerator) {
    HeadlessHost host;
    host.seedRandom(42);
    const std::uint32_t first = host.nextRandom();
    std::uint32_t otherThreadFirst = 0;
    std::thread other([&] {
        host.seedRandom(42);
        otherThreadFirst = host.nextRandom();
        for (int i = 0; i < 1000; ++i) host.nextRandom();
    });
    other.join();
    EXPECT_EQ(otherThreadFirst, first);
    std::mt19937 reference(42);
    reference();
    EXPECT_EQ(host.nextRandom(), reference()) << "the other thread's draws must not advance this one";
}

}  // namespace
}  // namespace talvane
