// Opens the console's main window on the virtual lab: the 3D view of the
// arm with its readouts, a control panel on the right with a few sample
// controls of each kind and the view panel at the bottom.
//
//   scene-preview                     run until Esc or q
//   scene-preview --screenshot FILE   draw, save the screen as PNG, quit
//
// Run it where "Resources/Drawing1.3ds" can be found (without it the view
// shows the links and readouts only).
#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "console/scene.h"
#include "console/screen_capture.h"
#include "glui/glui.h"
#include "tools/command_line.h"

namespace {

float sampleFrequency = 0.5f;
float sampleDuration = 1000.0f;
int sampleSine = 0;
int sampleHybrid = 0;

void ControlChanged(int id) {
    if (id == 200) {
        RunStatus = (RunStatus + 1) % 7;
        DisplayView();
    } else if (id == 203) {
        std::exit(0);
    }
}

void Reshape(int, int) {
    int x, y, w, h;
    GLUI_Master.get_viewport_area(&x, &y, &w, &h);
    glViewport(x, y, w, h);
    viewAspect = h > 0 ? static_cast<float>(w) / static_cast<float>(h) : 1.0f;
    glutPostRedisplay();
}

void Keyboard(unsigned char key, int, int) {
    if (key == 27 || key == 'q') {
        std::exit(0);
    }
    glutPostRedisplay();
}

void Motion(int, int) {
    glutPostRedisplay();
}

void BuildWindow() {
    const int mainWindow = OpenViewWindow("Tendon");
    glutDisplayFunc(DisplayView);
    GLUI_Master.set_glutReshapeFunc(Reshape);
    GLUI_Master.set_glutKeyboardFunc(Keyboard);
    GLUI_Master.set_glutSpecialFunc(nullptr);
    GLUI_Master.set_glutMouseFunc(nullptr);
    glutMotionFunc(Motion);

    std::printf("Scene preview on the virtual lab\nUsing GLUI version: %3.2f\n",
                GLUI_Master.get_version());

    GLUI* controls = GLUI_Master.create_glui_subwindow(mainWindow, GLUI_SUBWINDOW_RIGHT);
    GLUI_Rollout* samples = controls->add_rollout("Samples", true);
    GLUI_Spinner* frequency = controls->add_spinner_to_panel(
        samples, "Frequency:", GLUI_SPINNER_FLOAT, &sampleFrequency, -1, nullptr);
    frequency->set_float_limits(0.0f, 15.0f, GLUI_LIMIT_CLAMP);
    frequency->set_alignment(GLUI_ALIGN_LEFT);
    GLUI_Spinner* duration = controls->add_spinner_to_panel(
        samples, "Duration:", GLUI_SPINNER_FLOAT, &sampleDuration, -1, nullptr);
    duration->set_int_limits(0, 3000, GLUI_LIMIT_CLAMP);
    duration->set_alignment(GLUI_ALIGN_LEFT);
    controls->add_checkbox_to_panel(samples, "The Sine Wave", &sampleSine, 1, ControlChanged);
    controls->add_checkbox_to_panel(samples, "Neural-Fuzzy Hybrid", &sampleHybrid, 1,
                                    ControlChanged);
    controls->add_statictext("");
    controls->add_button("  Next Status  ", 200, ControlChanged);
    controls->add_statictext("");
    controls->add_button("Quit", 203, ControlChanged);
    controls->set_main_gfx_window(mainWindow);

    GLUI* view = GLUI_Master.create_glui_subwindow(mainWindow, GLUI_SUBWINDOW_BOTTOM);
    view->set_main_gfx_window(mainWindow);
    view->add_rotation("Rotate Robot View", viewRotation)->set_spin(10.0f);
    view->add_column(false);
    view->add_translation("Translate View XY", GLUI_TRANSLATION_XY, &viewTranslation[0])
        ->set_speed(0.5f);
    view->add_column(false);
    view->add_translation("Translate View X", GLUI_TRANSLATION_X, &viewTranslation[0])
        ->set_speed(0.5f);
    view->add_column(false);
    view->add_translation("Translate View Y", GLUI_TRANSLATION_Y, &viewTranslation[1])
        ->set_speed(0.5f);
    view->add_column(false);
    view->add_translation("Translate View Z", GLUI_TRANSLATION_Z, &viewTranslation[2])
        ->set_speed(0.5f);

    BuildLinkLists();
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("scene-preview",
                           "usage: scene-preview [--screenshot FILE]\n"
                           "Opens the 3D view with sample panels on the virtual lab; with\n"
                           "--screenshot, draws one frame, saves it as PNG and quits.\n");
    std::string screenshot;
    tools::AddText(app, "--screenshot", screenshot);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }
    // GLUT reads no options of ours: it gets the program name only.
    int glutArgc = 1;
    glutInit(&glutArgc, argv);
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
    BuildWindow();
    if (screenshot.empty()) {
        glutMainLoop();
        return 0;
    }
    // Let the window and the panels settle (layout takes a few frames).
    for (int i = 0; i < 100; ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!SaveConsoleScreen(screenshot.c_str())) {
        std::fprintf(stderr, "scene-preview: cannot save %s\n", screenshot.c_str());
        return 1;
    }
    return 0;
}
