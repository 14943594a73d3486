// Reads back what the X server shows, for the end-to-end tests:
//   x_probe pixel WINDOW X Y        the colour at (X, Y) of the window, "R G B"
//   x_probe region WINDOW X Y W H   how many pixels of the area are black,
//                                   green, red, and other, "black green red other"
//   x_probe extent WINDOW X Y W H   the window x of the rightmost pixel of the
//                                   area that is not black, or -1
//   x_probe count WINDOW X Y W H R G B  how many pixels of the area have
//                                   exactly the colour R G B
//   x_probe ppm WINDOW FILE         the window's area of the screen as a PPM file
//   x_probe focus                   the id of the window with the input focus
//   x_probe cursor                  the pointer's current shape: "W H HOTX HOTY"
//   x_probe hold                    stays connected until its input closes, so
//                                   that the X server does not reset between
//                                   the test's short-lived clients
// Windows are given as decimal or 0x-hex ids; reads go through the root
// window, so a GL window's presented frame is what is read.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct Rgb { unsigned r, g, b; };

Rgb pixelOf(XImage* image, int x, int y) {
    const unsigned long p = XGetPixel(image, x, y);
    return {static_cast<unsigned>((p & image->red_mask) >> 16), static_cast<unsigned>((p & image->green_mask) >> 8),
            static_cast<unsigned>(p & image->blue_mask)};
}

// The window's area of the root window, from (x, y) of the window, w x h.
XImage* grab(Display* display, Window window, int x, int y, int w, int h) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    const Window root = DefaultRootWindow(display);
    XTranslateCoordinates(display, window, root, x, y, &rootX, &rootY, &child);
    return XGetImage(display, root, rootX, rootY, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
}

// Opens the display, trying again for a few seconds: a server that has just
// lost its last client refuses connections while it resets.
Display* openDisplay() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) return display;
        const timespec pause{0, 50 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return nullptr;
}

int usage() {
    std::fprintf(stderr, "usage: x_probe pixel WIN X Y | region WIN X Y W H | extent WIN X Y W H | count WIN X Y W H R G B | ppm WIN FILE | focus | cursor | hold\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    Display* display = openDisplay();
    if (display == nullptr) {
        std::fprintf(stderr, "x_probe: cannot open the display\n");
        return 1;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "focus") == 0) {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        std::printf("%lu\n", focus);
        return 0;
    }
    if (std::strcmp(command, "cursor") == 0) {
        XFixesCursorImage* cursor = XFixesGetCursorImage(display);
        if (cursor == nullptr) return 1;
        std::printf("%u %u %u %u\n", cursor->width, cursor->height, cursor->xhot, cursor->yhot);
        XFree(cursor);
        return 0;
    }
    if (std::strcmp(command, "hold") == 0) {
        std::printf("ready\n");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        XCloseDisplay(display);
        return 0;
    }
    if (argc < 3) return usage();
    const Window window = std::strtoul(argv[2], nullptr, 0);
    if (std::strcmp(command, "pixel") == 0 && argc == 5) {
        XImage* image = grab(display, window, std::atoi(argv[3]), std::atoi(argv[4]), 1, 1);
        if (image == nullptr) return 1;
        const Rgb c = pixelOf(image, 0, 0);
        std::printf("%u %u %u\n", c.r, c.g, c.b);
        return 0;
    }
    if (std::strcmp(command, "region") == 0 && argc == 7) {
        const int w = std::atoi(argv[5]);
        const int h = std::atoi(argv[6]);
        XImage* image = grab(display, window, std::atoi(argv[3]), std::atoi(argv[4]), w, h);
        if (image == nullptr) return 1;
        long black = 0, green = 0, red = 0, other = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const Rgb c = pixelOf(image, x, y);
                if (c.r < 16 && c.g < 16 && c.b < 16) ++black;
                else if (c.r < 16 && c.g > 240 && c.b < 16) ++green;
                else if (c.r > 240 && c.g < 16 && c.b < 16) ++red;
                else ++other;
            }
        }
        std::printf("%ld %ld %ld %ld\n", black, green, red, other);
        return 0;
    }
    if (std::strcmp(command, "extent") == 0 && argc == 7) {
        const int left = std::atoi(argv[3]);
        const int w = std::atoi(argv[5]);
        const int h = std::atoi(argv[6]);
        XImage* image = grab(display, window, left, std::atoi(argv[4]), w, h);
        if (image == nullptr) return 1;
        int rightmost = -1;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const Rgb c = pixelOf(image, x, y);
                if ((c.r > 40 || c.g > 40 || c.b > 40) && left + x > rightmost) rightmost = left + x;
            }
        }
        std::printf("%d\n", rightmost);
        return 0;
    }
    if (std::strcmp(command, "count") == 0 && argc == 10) {
        const int w = std::atoi(argv[5]);
        const int h = std::atoi(argv[6]);
        const Rgb wanted{static_cast<unsigned>(std::atoi(argv[7])), static_cast<unsigned>(std::atoi(argv[8])),
                         static_cast<unsigned>(std::atoi(argv[9]))};
        XImage* image = grab(display, window, std::atoi(argv[3]), std::atoi(argv[4]), w, h);
        if (image == nullptr) return 1;
        long count = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const Rgb c = pixelOf(image, x, y);
                if (c.r == wanted.r && c.g == wanted.g && c.b == wanted.b) ++count;
            }
        }
        std::printf("%ld\n", count);
        return 0;
    }
    if (std::strcmp(command, "ppm") == 0 && argc == 4) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        XImage* image = grab(display, window, 0, 0, attributes.width, attributes.height);
        if (image == nullptr) return 1;
        std::FILE* out = std::fopen(argv[3], "wb");
        if (out == nullptr) return 1;
        std::fprintf(out, "P6\n%d %d\n255\n", attributes.width, attributes.height);
        for (int y = 0; y < attributes.height; ++y) {
            for (int x = 0; x < attributes.width; ++x) {
                const Rgb c = pixelOf(image, x, y);
                const unsigned char rgb[3] = {static_cast<unsigned char>(c.r), static_cast<unsigned char>(c.g),
                                              static_cast<unsigned char>(c.b)};
                std::fwrite(rgb, 1, 3, out);
            }
        }
        std::fclose(out);
        return 0;
    }
    return usage();
}
