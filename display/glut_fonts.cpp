#include "glut_fonts.h"

#include <dlfcn.h>

#include <X11/Xlib.h>

#include <mutex>
#include <string>

namespace talvane {
namespace {

// freeglut tells its fonts apart by the addresses of its own data symbols
// (glutBitmapHelvetica18 and the like). FLTK's GL library exports data
// symbols with the same names, so a freeglut linked the ordinary way may end
// up comparing against FLTK's addresses and draw nothing. Loaded with
// RTLD_DEEPBIND, freeglut resolves its names within itself first, and dlsym on
// its handle hands out the same addresses it compares against.
constexpr const char* kLibraryNames[] = {"libglut.so.3.12", "libglut.so.3", "libglut.so"};

GlutFonts loaded;
const GlutFonts* result = nullptr;
std::string failure;

void* openFreeglut() {
    for (const char* name : kLibraryNames) {
        if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND)) return handle;
    }
    return nullptr;
}

// Everything glutFonts needs from the library, or false.
bool lookUpSymbols(void* handle, void (*&init)(int*, char**)) {
    init = reinterpret_cast<void (*)(int*, char**)>(dlsym(handle, "glutInit"));
    loaded.bitmapCharacter = reinterpret_cast<void (*)(void*, int)>(dlsym(handle, "glutBitmapCharacter"));
    loaded.bitmapWidth = reinterpret_cast<int (*)(void*, int)>(dlsym(handle, "glutBitmapWidth"));
    loaded.helvetica18 = dlsym(handle, "glutBitmapHelvetica18");
    loaded.helvetica10 = dlsym(handle, "glutBitmapHelvetica10");
    loaded.fixed9by15 = dlsym(handle, "glutBitmap9By15");
    return init && loaded.bitmapCharacter && loaded.bitmapWidth && loaded.helvetica18 &&
           loaded.helvetica10 && loaded.fixed9by15;
}

bool displayAvailable() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

int ignoreXError(Display*, XErrorEvent*) { return 0; }

void load() {
    // freeglut ends the process when glutInit cannot open a display, so look first.
    if (!displayAvailable()) {
        failure = "cannot open an X display for the fonts";
        return;
    }
    void* handle = openFreeglut();
    if (!handle) {
        failure = std::string("cannot load freeglut: ") + dlerror();
        return;
    }
    void (*init)(int*, char**) = nullptr;
    if (!lookUpSymbols(handle, init)) {
        failure = "freeglut lacks glutInit or its bitmap fonts";
        return;
    }
    // glutInit may install its own X error handler; keep the program's.
    XErrorHandler previous = XSetErrorHandler(ignoreXError);
    XSetErrorHandler(previous);
    char programName[] = "talvane";
    char* argv[] = {programName, nullptr};
    int argc = 1;
    init(&argc, argv);
    XSetErrorHandler(previous);
    result = &loaded;
}

std::once_flag loadOnce;

}  // namespace

const GlutFonts* glutFonts() {
    std::call_once(loadOnce, load);
    return result;
}

const char* glutFontsError() {
    glutFonts();
    return failure.c_str();
}

}  // namespace talvane
