// A generation step makes no heap allocation: every scratch grid is static.
// Counts the C++ allocations made on this thread while steps run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "engine_fixture.h"
#include "generation.h"
#include "headless_host.h"
#include "run_control.h"

namespace {

thread_local bool counting = false;
thread_local long allocations = 0;

void* allocate(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

// The C++ allocations that work() makes on this thread.
template <typename Work>
long countAllocations(Work work) {
    allocations = 0;
    counting = true;
    work();
    counting = false;
    return allocations;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace talvane::testing {
namespace {

using AllocationTest = EngineTest;

TEST_F(AllocationTest, StepsAllocateNothing) {
    HeadlessHost headless;
    sim.host = &headless;
    sim.restartPending = true;
    restartSimulation();  // a seeded world with its scores and tables
    sim.frameInterval = 1 << 30;
    stepGeneration();     // opens the log
    const long stepAllocations = countAllocations([] {
        for (int g = 0; g < 50; ++g) stepGeneration();
    });
    EXPECT_EQ(stepAllocations, 0);
    EXPECT_EQ(sim.generation, 51);

    // The counter does count: a vector and its elements are two allocations
    // (kept through a volatile pointer, so the compiler cannot drop them).
    std::vector<int>* volatile probe = nullptr;
    EXPECT_EQ(countAllocations([&] { probe = new std::vector<int>(10); }), 2);
    delete probe;
}

}  // namespace
}  // namespace talvane::testing
