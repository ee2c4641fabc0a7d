// The test build's reports (see test_probe.h).
#include "console/test_probe.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/scene.h"
#include "glui/glui.h"
#include "lab/lab.h"
#include "platform/clock.h"
#include "platform/stdio_file.h"

namespace {

constexpr const char* kStatusFile = "tendon-status.txt";
constexpr const char* kPlacesFile = "tendon-places.txt";
constexpr const char* kExitFile = "tendon-exit.txt";
constexpr int kPlacesIntervalMs = 100;

struct ProbedControl {
    const GLUI* panel;
    const GLUI_Control* control;
    std::string label;
};
std::vector<ProbedControl> probedControls;
int mainWindow = 0;

const char* OpenOrClosed(bool open) {
    return open ? "open" : "closed";
}

void WriteExitReport() {
    const lab::Snapshot lab = lab::TakeSnapshot();
    if (const platform::StdioFile file{std::fopen(kExitFile, "w")}) {
        std::fprintf(file.get(), "motion card %s\npressure input %s\nvalve output %s\n",
                     OpenOrClosed(lab.systemInitialised), OpenOrClosed(lab.pressureInputOpen),
                     OpenOrClosed(lab.valveOutputOpen));
    }
}

struct Place {
    int x, y, w, h;
};

// A window's place: on the screen for the main window, in its parent for a
// subwindow.
Place PlaceOf(int window) {
    glutSetWindow(window);
    return {glutGet(GLUT_WINDOW_X), glutGet(GLUT_WINDOW_Y), glutGet(GLUT_WINDOW_WIDTH),
            glutGet(GLUT_WINDOW_HEIGHT)};
}

// Written to a scratch name and renamed, so that a reader never sees half
// a file.
void WritePlaces(int) {
    const int current = glutGetWindow();
    const std::string scratch = std::string(kPlacesFile) + ".new";
    if (platform::StdioFile places{std::fopen(scratch.c_str(), "w")}) {
        std::FILE* file = places.get();
        const Place main = PlaceOf(mainWindow);
        std::fprintf(file, "window %d %d %d %d\n", main.x, main.y, main.w, main.h);
        int x = 0, y = 0, w = 0, h = 0;
        GLUI_Master.get_viewport_area(&x, &y, &w, &h);
        std::fprintf(file, "viewport %d %d %d %d %.9g\n", x, y, w, h, viewAspect);
        int number = 0;
        for (const ProbedControl& probed : probedControls) {
            const Place panel = PlaceOf(probed.panel->get_glut_window_id());
            std::fprintf(file, "control %d %d %d %d %d %s\n", ++number,
                         main.x + panel.x + probed.control->x_abs,
                         main.y + panel.y + probed.control->y_abs, probed.control->w,
                         probed.control->h, probed.label.c_str());
        }
        // The control panel's controls were added first, the view panel's last.
        const struct {
            const char* side;
            const GLUI* panel;
        } panels[] = {{"right", probedControls.front().panel},
                      {"bottom", probedControls.back().panel}};
        for (const auto& [side, panel] : panels) {
            const Place place = PlaceOf(panel->get_glut_window_id());
            std::fprintf(file, "panel %s %d %d %d %d\n", side, main.x + place.x, main.y + place.y,
                         place.w, place.h);
        }
        // Closed before the rename, so the new name shows the whole file.
        std::fclose(places.release());
        std::rename(scratch.c_str(), kPlacesFile);
    }
    glutSetWindow(current);
    glutTimerFunc(kPlacesIntervalMs, WritePlaces, 0);
}

}  // namespace

void ProbeStart() {
    platform::UseVirtualClock();
    std::remove(kStatusFile);
    std::remove(kPlacesFile);
    std::remove(kExitFile);
    std::atexit(WriteExitReport);
}

void ProbeControl(const GLUI* panel, const GLUI_Control* control, const char* label) {
    probedControls.push_back({panel, control, label});
}

void ProbePanelsBuilt() {
    mainWindow = glutGetWindow();
    glutTimerFunc(kPlacesIntervalMs, WritePlaces, 0);
}

void ProbeStatus(int status) {
    if (const platform::StdioFile file{std::fopen(kStatusFile, "a")}) {
        std::fprintf(file.get(), "%d\n", status);
    }
}
