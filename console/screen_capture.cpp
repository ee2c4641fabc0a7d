#include "console/screen_capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stb/stb_image_write.h>

#include <vector>

#include "console/scene.h"

bool SaveConsoleScreen(const char* path) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, kViewWindowWidth,
                              kViewWindowHeight, AllPlanes, ZPixmap);
    bool saved = false;
    if (image != nullptr) {
        std::vector<unsigned char> rgb(3u * kViewWindowWidth * kViewWindowHeight);
        for (int y = 0; y < kViewWindowHeight; ++y) {
            for (int x = 0; x < kViewWindowWidth; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                unsigned char* out = &rgb[3u * (y * kViewWindowWidth + x)];
                out[0] = static_cast<unsigned char>((pixel & image->red_mask) >> 16);
                out[1] = static_cast<unsigned char>((pixel & image->green_mask) >> 8);
                out[2] = static_cast<unsigned char>(pixel & image->blue_mask);
            }
        }
        saved = stbi_write_png(path, kViewWindowWidth, kViewWindowHeight, 3, rgb.data(),
                               3 * kViewWindowWidth) != 0;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return saved;
}
