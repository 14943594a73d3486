// The extension module talvane._picture: a world drawn as the desktop window
// shows it, paused, in a PNG, with the renderer of talvane-batch --snapshot.
// A module of its own, loaded by World.image only, so that importing talvane
// needs neither X nor OpenGL. The frame draws the state record `sim` of this
// module, which takes a copy of the world for each picture.
#include <pybind11/pybind11.h>

#include <cmath>
#include <mutex>
#include <string>

#include "py_world.h"
#include "sim_state.h"
#include "snapshot.h"

namespace py = pybind11;

namespace talvane::python {
namespace {

std::mutex pictureMutex;  // one picture at a time: they all draw from sim

std::int32_t shownPayoff(double value) { return static_cast<std::int32_t>(std::trunc(value)); }

// Copies what the frame shows of the world into sim.
void showInSim(PyWorld& w, bool strategies) {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(w.mutex);
    resetSimState();
    sim.world = w.world;
    sim.generation = static_cast<std::int32_t>(std::min<std::int64_t>(w.world.generation, INT32_MAX));
    // The frame's matrix shows whole numbers: decimal payoffs truncated.
    Rules shown = w.rules;
    const std::array<double, 4> values = payoffValues(w.rules);
    for (std::size_t k = 0; k < 4; ++k) shown.payoffs[k] = shownPayoff(values[k]);
    setSimRules(shown);
    sim.colorLayout = static_cast<std::int32_t>(w.seeding.layout);
    for (int i = 0; i < kCodeCount; ++i) {
        sim.selfPool[i] = w.seeding.selfExcluded[static_cast<std::size_t>(i)];
        sim.otherPool[i] = w.seeding.otherExcluded[static_cast<std::size_t>(i)];
    }
    sim.frameInterval = 1;
    sim.paused = true;
    sim.viewStrategies = strategies;
}

py::bytes renderPng(PyWorld& w, const std::string& view) {
    if (view != "strategies" && view != "colors") {
        throw py::value_error("view: \"" + view + "\" is not strategies or colors");
    }
    if (w.world.rows() != kGridSize || w.world.cols() != kGridSize) {
        throw py::value_error("image: the window's frame shows 64 x 64 worlds only; this one is " +
                              std::to_string(w.world.rows()) + "x" + std::to_string(w.world.cols()));
    }
    std::lock_guard<std::mutex> lock(pictureMutex);
    showInSim(w, view == "strategies");
    std::string png;
    std::string error;
    int status = kSnapshotWritten;
    {
        py::gil_scoped_release release;
        status = renderSnapshotPng(png, error);
    }
    if (status != kSnapshotWritten) throw std::runtime_error("image: " + error);
    return py::bytes(png);
}

}  // namespace
}  // namespace talvane::python

PYBIND11_MODULE(_picture, m) {
    m.doc() = "Pictures of worlds as the desktop window shows them (needs an X display with OpenGL).";
    py::module_::import("talvane._talvane");  // the World type
    m.def("render_png", &talvane::python::renderPng, py::arg("world"), py::arg("view") = "strategies",
          "The PNG bytes of the 980 x 700 frame showing the world, paused.");
}
