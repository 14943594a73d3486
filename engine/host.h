// What the engine needs from the program that hosts it: the desktop shell,
// the batch runner or a test. Nothing else of the platform reaches the engine.
#pragma once

#include <cstdint>

namespace talvane {

class Host {
public:
    virtual ~Host() = default;

    // Redraws the whole frame now; returns only once the frame is drawn,
    // whichever thread asks.
    virtual void requestRepaint() = 0;

    // Shows a message box with one OK button and an exclamation icon, owned by
    // the drawing window; returns when the user has closed it.
    virtual void showMessage(const char* text, const char* caption) = 0;

    // Puts the standard arrow cursor back (after a restart has seeded).
    virtual void setArrowCursor() = 0;

    // Sleeps the calling thread for the given number of milliseconds.
    virtual void sleepMs(int ms) = 0;

    // The calendar time in whole seconds; seeding seeds the generator from it.
    virtual std::int64_t clockSeconds() = 0;

    // Reseeds the calling thread's random generator; returns the seed it
    // took, which a host may choose in place of the one given (the desktop's
    // --seed, at the first seeding).
    virtual std::uint32_t seedRandom(std::uint32_t seed);

    // Next number of the calling thread's random generator, uniform over
    // 0 .. 2^32 - 1.
    virtual std::uint32_t nextRandom();

    // Fills out[0 .. count - 1] with the calling thread's next count numbers,
    // exactly as count calls of nextRandom would. The default calls
    // nextRandom; a host that keeps the default generator may hand them out
    // in bulk (the generation step draws one number per cell).
    virtual void fillRandom(std::uint32_t* out, int count);

    // Called over and over by a thread that waits for the simulation thread
    // (the pause that waits, the clean stop). A host whose repaint requests
    // are served by that waiting thread serves the pending ones here, so that
    // the wait never deadlocks; the default sleeps one millisecond.
    virtual void serviceWhileWaiting();
};

}  // namespace talvane
