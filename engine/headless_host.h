// A host with no window, for the batch runner and other headless programs.
#pragma once

#include "host.h"

namespace talvane {

// Repaints and cursor changes do nothing, message boxes go to standard error,
// sleeps and the clock are real, random numbers come from the default
// per-thread generator.
class HeadlessHost : public Host {
public:
    void requestRepaint() override {}
    // Writes "caption: text" and a line end to standard error.
    void showMessage(const char* text, const char* caption) override;
    void setArrowCursor() override {}
    void sleepMs(int ms) override;
    std::int64_t clockSeconds() override;
    // The default per-thread generator; final, so that the bulk fill below
    // always hands out the very numbers nextRandom would.
    std::uint32_t nextRandom() final { return Host::nextRandom(); }
    void fillRandom(std::uint32_t* out, int count) override;
};

}  // namespace talvane
