// The extension module talvane._picture: a frame drawn as the desktop window
// shows it, in a PNG, with the renderer of talvane-batch --snapshot. A
// module of its own, loaded by World.snapshot only, so that importing
// talvane needs neither X nor OpenGL. It carries no engine: the frame comes
// described by talvane._talvane (World._frame_description).
#include <pybind11/pybind11.h>

#include <mutex>
#include <string>

#include "frame_capsule.h"
#include "snapshot.h"

namespace py = pybind11;

namespace talvane::python {
namespace {

// One picture at a time: each opens its own display connection and GL
// context, and the fonts are loaded once for the process.
std::mutex pictureMutex;

const FrameDescription& describedFrame(const py::capsule& capsule) {
    if (std::string(capsule.name() ? capsule.name() : "") != kFrameCapsuleName) {
        throw py::type_error("render_png: not a frame description");
    }
    return *capsule.get_pointer<FrameDescription>();
}

py::bytes renderPng(const py::capsule& capsule) {
    const FrameDescription& frame = describedFrame(capsule);
    std::string png;
    std::string error;
    int status = kSnapshotWritten;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(pictureMutex);
        status = renderSnapshotPng(frame, png, error);
    }
    if (status != kSnapshotWritten) throw std::runtime_error("image: " + error);
    return py::bytes(png);
}

}  // namespace
}  // namespace talvane::python

PYBIND11_MODULE(_picture, m) {
    m.doc() = "Pictures of frames as the desktop window shows them (needs an X display with OpenGL).";
    m.def("render_png", &talvane::python::renderPng, py::arg("frame"),
          "The PNG bytes of the 980 x 700 frame of a description from World._frame_description.");
}
