// The engine's host in the desktop program. Repaint requests and message
// boxes from the simulation thread are handed to the user-interface thread
// and the simulation thread waits until they are done; on the user-interface
// thread they are carried out at once. The simulation thread wakes the
// toolkit's loop (Fl::awake), which serves the requests once per turn of the
// loop (a check callback), between its event handling: a simulation thread
// that asks for frames without a break never keeps the window from input.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "host.h"

namespace talvane {

class FltkHost final : public Host {
public:
    // drawFrame draws and presents one whole frame now (user-interface thread).
    // showAlert shows a message box and returns when it is closed.
    // arrowCursor puts the arrow back over the drawing window.
    // scheduleFrame (optional) marks the window to be drawn when the toolkit's
    // loop has handled the input waiting (user-interface thread).
    FltkHost(std::function<void()> drawFrame,
             std::function<void(const char* text, const char* caption)> showAlert,
             std::function<void()> arrowCursor,
             std::function<void()> scheduleFrame = nullptr);
    ~FltkHost() override;
    FltkHost(const FltkHost&) = delete;
    FltkHost& operator=(const FltkHost&) = delete;

    void requestRepaint() override;
    void showMessage(const char* text, const char* caption) override;
    void setArrowCursor() override;
    void sleepMs(int ms) override;
    std::int64_t clockSeconds() override;
    void serviceWhileWaiting() override;
    std::uint32_t seedRandom(std::uint32_t seed) override;

    // The first seeding of the run (the start-up world) uses this seed
    // instead of the clock, so that a start with --seed can be repeated.
    void seedFirstSeeding(std::uint32_t seed) {
        firstSeed_ = seed;
        firstSeedPending_ = true;
    }

    // Carries out every request the simulation thread has posted (UI thread).
    void servePending();

    // While set, a repaint asked for on the user-interface thread is
    // scheduled instead of drawn: input handlers set it, so that a burst of
    // keys costs one frame when the burst has been handled rather than one
    // frame each, and Escape behind it acts at once. Requests of other
    // threads are always drawn before they return.
    void deferUiRepaints(bool defer) { deferUiRepaints_ = defer; }

    // The program is ending (a signal, a lost display): from now on message
    // boxes go to standard error instead of the screen and return at once,
    // and other threads stop waiting for frames and boxes, so that nothing
    // waits for a user who will not answer or a loop that will not turn.
    // May be called from any thread.
    void setEnding();

    // Called by drawFrame once the frame is composed: every drawing call has
    // been made and nothing more of the simulation's state is read, only the
    // presenting of the frame remains. The repaint requests the frame answers
    // are released here rather than after the presenting, so the simulation
    // thread computes while the renderer finishes the frame. No effect
    // outside a drawFrame for posted requests (UI thread).
    void frameComposed();

private:
    bool onUiThread() const { return std::this_thread::get_id() == uiThread_; }
    bool workPending() const;  // mutex held
    void postToUiThread();
    static void checkCallback(void* host);

    std::function<void()> drawFrame_;
    std::function<void(const char*, const char*)> showAlert_;
    std::function<void()> arrowCursor_;
    std::function<void()> scheduleFrame_;
    bool deferUiRepaints_ = false;  // user-interface thread only
    std::thread::id uiThread_;  // the thread that built the host runs the toolkit

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t repaintsAsked_ = 0;  // repaint requests posted by other threads
    std::uint64_t repaintsDone_ = 0;   // of those, how many a drawn frame has answered
    std::uint64_t repaintsDrawing_ = 0;  // the requests the frame being drawn answers
    bool messagePending_ = false;      // a message box waits to be shown
    bool messageDone_ = false;         // the message box has been closed
    std::string messageText_;
    std::string messageCaption_;
    std::atomic<bool> arrowPending_{false};
    std::atomic<bool> ending_{false};
    // Shows a message box, or writes it on standard error once ending.
    void alert(const char* text, const char* caption);

    std::uint32_t firstSeed_ = 0;  // set before the simulation thread starts
    std::atomic<bool> firstSeedPending_{false};
};

}  // namespace talvane
