// A frame description handed from talvane._talvane, which owns the engine,
// to talvane._picture, which draws it: a capsule of this name holding a
// FrameDescription that the capsule owns.
#pragma once

#include <pybind11/pybind11.h>

namespace talvane::python {

inline constexpr const char* kFrameCapsuleName = "talvane.FrameDescription";

class PyWorld;

// Adds World._frame_description(view="strategies") to the World type: the
// capsule of the frame the desktop would show of the world, paused. Raises
// ValueError for a view other than "strategies" or "colors", and for a world
// that is not 64 x 64.
void defineFrameDescription(pybind11::class_<PyWorld>& world);

}  // namespace talvane::python
