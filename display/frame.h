// Composition of one whole frame from its description, and the drawing
// surface's pixel format.
#pragma once

#include "frame_description.h"

namespace talvane {

// What the drawing window offers for its pixel format: a double-buffered RGB
// visual with a depth buffer, and a way to tell the user it failed.
class PixelFormatTarget {
public:
    virtual ~PixelFormatTarget() = default;
    // Finds a matching visual; false when there is none.
    virtual bool choosePixelFormat() = 0;
    // Gives the window that visual; false when it cannot.
    virtual bool setPixelFormat() = 0;
    // Shows a plain message box (OK button, no icon, the default caption).
    virtual void showPlainMessage(const char* text) = 0;
};

// Gives the drawing window its pixel format; on failure tells the user
// "ChoosePixelFormat Failed" or "SetPixelFormat Failed" and returns false.
bool setupPixelFormat(PixelFormatTarget& target);

// Starts a frame in the current GL context, which may have drawn frames
// before: the frame projection afresh on the current matrix, flat shading,
// everything black.
void clearFrame();

// Draws one whole 980 x 700 frame of the description into the current GL
// context: projection, flat shading, cleared to black, then every element in
// order. Reads nothing but the description. The caller makes the context
// current and swaps the buffers afterwards.
void composeFrame(const FrameDescription& frame);

}  // namespace talvane
