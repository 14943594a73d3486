// World._frame_description: the desktop's frame of a world, described by the
// module that owns the engine, for talvane._picture to draw.
#include "frame_capsule.h"

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "frame_describe.h"
#include "py_world.h"

namespace py = pybind11;

namespace talvane::python {
namespace {

std::int32_t shownPayoff(double value) { return static_cast<std::int32_t>(std::trunc(value)); }

// What the frame shows beside the cells: the world paused, in the view asked for.
FrameSettings shownSettings(const PyWorld& w, bool strategies) {
    FrameSettings s;
    // The matrix shows whole numbers: decimal payoffs truncated.
    const std::array<double, 4> values = payoffValues(w.rules());
    for (std::size_t i = 0; i < s.payoffs.size(); ++i) s.payoffs[i] = shownPayoff(values[i]);
    s.competition = w.rules().competition;
    s.playSelf = w.world.playSelf;
    s.extraPoint = w.world.extraPoint;
    s.colorLayout = w.seeding.layout;
    s.selfExcluded = w.seeding.selfExcluded;
    s.otherExcluded = w.seeding.otherExcluded;
    s.generation = static_cast<std::int32_t>(std::min<std::int64_t>(w.world.generation, INT32_MAX));
    s.viewStrategies = strategies;
    return s;
}

void deleteDescription(PyObject* capsule) {
    delete static_cast<FrameDescription*>(PyCapsule_GetPointer(capsule, kFrameCapsuleName));
}

py::capsule frameDescription(PyWorld& w, const std::string& view) {
    if (view != "strategies" && view != "colors") {
        throw py::value_error("view: \"" + view + "\" is not strategies or colors");
    }
    if (w.world.rows() != kGridSize || w.world.cols() != kGridSize) {
        throw py::value_error("image: the window's frame shows 64 x 64 worlds only; this one is " +
                              std::to_string(w.world.rows()) + "x" + std::to_string(w.world.cols()));
    }
    auto frame = std::make_unique<FrameDescription>();
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(w.mutex);
        *frame = describeWorld(w.world, shownSettings(w, view == "strategies"));
    }
    py::capsule capsule(frame.get(), kFrameCapsuleName, deleteDescription);
    frame.release();  // the capsule owns it now
    return capsule;
}

}  // namespace

void defineFrameDescription(py::class_<PyWorld>& world) {
    world.def("_frame_description", &frameDescription, py::arg("view") = "strategies",
              "The desktop's frame of the world, paused, for talvane._picture to draw.");
}

}  // namespace talvane::python
