// The test build's reports, options and lab hooks (see test_probe.h).
#include "console/test_probe.h"

#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cards/motion_card.h"
#include "console/scene.h"
#include "console/screen_capture.h"
#include "glui/glui.h"
#include "lab/lab.h"
#include "platform/clock.h"
#include "platform/stdio_file.h"
#include "tools/command_line.h"

namespace {

constexpr const char* kStatusFile = "tendon-status.txt";
constexpr const char* kPlacesFile = "tendon-places.txt";
constexpr const char* kExitFile = "tendon-exit.txt";
constexpr const char* kStopAtFile = "tendon-stop-at.txt";
constexpr int kPlacesIntervalMs = 100;

constexpr const char* kUsage =
    "usage: tendon-virtual [--screenshot FILE [--emergency-stop]]\n"
    "The operator console on the virtual lab and the virtual clock, reporting to\n"
    "the window tests through files in its working directory. With --screenshot,\n"
    "saves the console's window as it comes up as a PNG picture and quits;\n"
    "--emergency-stop presses the lab's emergency stop first.\n";

std::string screenshot;
bool pressStopFirst = false;
// Samples redrawn by control runs so far, and the one after which the
// emergency stop is pressed (0: never).
long samplesRedrawn = 0;
long stopAfterSample = 0;

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
        std::fprintf(file, "counts %d %d %d %d %d\n", EncoderCounts[0], EncoderCounts[1],
                     EncoderCounts[2], EncoderCounts[3], EncoderCounts[4]);
        std::fprintf(file, "message %s\n", MessageLineText());
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

// Lets the window and the panels settle (layout takes a few frames), saves
// the screen and ends the program.
void TakeScreenshot() {
    if (pressStopFirst) {
        lab::PressEmergencyStop();
    }
    for (int i = 0; i < 100; ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!SaveConsoleScreen(screenshot.c_str())) {
        std::fprintf(stderr, "tendon-virtual: cannot save %s\n", screenshot.c_str());
        std::exit(1);
    }
    std::exit(0);
}

}  // namespace

void ProbeStart(int argc, char** argv) {
    tools::CommandLine app("tendon-virtual", kUsage);
    tools::AddText(app, "--screenshot", screenshot);
    app.add_flag("--emergency-stop", pressStopFirst);
    if (const auto exit = app.Parse(argc, argv)) {
        std::exit(*exit);
    }
    if (pressStopFirst && screenshot.empty()) {
        std::exit(tools::UsageError(app, "--emergency-stop goes with --screenshot"));
    }
    platform::UseVirtualClock();
    if (!screenshot.empty()) {
        return;
    }
    std::remove(kStatusFile);
    std::remove(kPlacesFile);
    std::remove(kExitFile);
    std::atexit(WriteExitReport);
    if (const platform::StdioFile file{std::fopen(kStopAtFile, "r")}) {
        if (std::fscanf(file.get(), "%ld", &stopAfterSample) != 1) {
            stopAfterSample = 0;
        }
    }
}

void ProbeControl(const GLUI* panel, const GLUI_Control* control, const char* label) {
    probedControls.push_back({panel, control, label});
}

void ProbePanelsBuilt() {
    if (!screenshot.empty()) {
        TakeScreenshot();
    }
    mainWindow = glutGetWindow();
    glutTimerFunc(kPlacesIntervalMs, WritePlaces, 0);
}

void ProbeStatus(int status) {
    if (const platform::StdioFile file{std::fopen(kStatusFile, "a")}) {
        std::fprintf(file.get(), "%d\n", status);
    }
}

void ProbeSample() {
    if (++samplesRedrawn == stopAfterSample) {
        lab::PressEmergencyStop();
    }
}
