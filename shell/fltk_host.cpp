#include "fltk_host.h"

#include <FL/Fl.H>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

namespace talvane {

FltkHost::FltkHost(std::function<void()> drawFrame,
                   std::function<void(const char*, const char*)> showAlert,
                   std::function<void()> arrowCursor,
                   std::function<void()> scheduleFrame)
    : drawFrame_(std::move(drawFrame)),
      showAlert_(std::move(showAlert)),
      arrowCursor_(std::move(arrowCursor)),
      scheduleFrame_(std::move(scheduleFrame)),
      uiThread_(std::this_thread::get_id()) {
    Fl::add_check(checkCallback, this);
}

FltkHost::~FltkHost() { Fl::remove_check(checkCallback, this); }

void FltkHost::requestRepaint() {
    if (onUiThread()) {
        if (deferUiRepaints_ && scheduleFrame_) {
            scheduleFrame_();
        } else {
            drawFrame_();
        }
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t ticket = ++repaintsAsked_;
    changed_.notify_all();
    postToUiThread();
    // Once ending, the user-interface thread may be in a dialog's own loop
    // or gone: the frame is not waited for.
    changed_.wait(lock, [&] { return repaintsDone_ >= ticket || ending_; });
}

void FltkHost::setEnding() {
    ending_ = true;
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
}

void FltkHost::alert(const char* text, const char* caption) {
    if (ending_) {
        std::fprintf(stderr, "talvane: %s: %s\n", caption, text);
        return;
    }
    showAlert_(text, caption);
}

void FltkHost::showMessage(const char* text, const char* caption) {
    if (onUiThread() || ending_) {
        alert(text, caption);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    messageText_ = text;
    messageCaption_ = caption;
    messageDone_ = false;
    messagePending_ = true;
    changed_.notify_all();
    postToUiThread();
    changed_.wait(lock, [&] { return messageDone_ || ending_; });
    if (messagePending_) {  // ending before the box was shown: standard error has it
        messagePending_ = false;
        lock.unlock();
        alert(text, caption);
    }
}

void FltkHost::setArrowCursor() {
    if (onUiThread()) {
        arrowCursor_();
        return;
    }
    arrowPending_ = true;
    postToUiThread();
}

void FltkHost::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::uint32_t FltkHost::seedRandom(std::uint32_t seed) {
    return Host::seedRandom(firstSeedPending_.exchange(false) ? firstSeed_ : seed);
}

std::int64_t FltkHost::clockSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

void FltkHost::serviceWhileWaiting() {
    if (!onUiThread()) {
        Host::serviceWhileWaiting();
        return;
    }
    servePending();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(1), [&] { return workPending(); });
}

bool FltkHost::workPending() const { return repaintsDone_ < repaintsAsked_ || messagePending_; }

// Only wakes the loop: a callback handed to Fl::awake would run in the
// toolkit's loop over its queue of callbacks, which never ends while each
// frame drawn from it lets the simulation thread post the next request.
void FltkHost::postToUiThread() { Fl::awake(static_cast<void*>(nullptr)); }

void FltkHost::checkCallback(void* host) { static_cast<FltkHost*>(host)->servePending(); }

void FltkHost::frameComposed() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (repaintsDone_ < repaintsDrawing_) {
        repaintsDone_ = repaintsDrawing_;
        changed_.notify_all();
    }
}

void FltkHost::servePending() {
    if (arrowPending_.exchange(false)) arrowCursor_();
    std::unique_lock<std::mutex> lock(mutex_);
    if (repaintsDone_ < repaintsAsked_) {
        repaintsDrawing_ = repaintsAsked_;  // one frame answers every request made before it
        lock.unlock();
        drawFrame_();
        lock.lock();
        if (repaintsDone_ < repaintsDrawing_) {  // drawFrame did not call frameComposed
            repaintsDone_ = repaintsDrawing_;
            changed_.notify_all();
        }
        repaintsDrawing_ = 0;
    }
    if (messagePending_) {
        messagePending_ = false;
        const std::string text = messageText_;
        const std::string caption = messageCaption_;
        lock.unlock();
        alert(text.c_str(), caption.c_str());
        lock.lock();
        messageDone_ = true;
        changed_.notify_all();
    }
}

}  // namespace talvane
