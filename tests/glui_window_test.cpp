// The panels in real GLUT windows: clicks sent through the X server with
// xdotool, keys passed on to the main window, layout on reshape.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "glui/glui.h"
#include "tests/window_close.h"
#include "tests/window_test_support.h"

namespace {

int mainWindow = 0;
GLUI* controlPanel = nullptr;
GLUI* viewPanel = nullptr;
GLUI_Checkbox* checkbox = nullptr;
GLUI_Button* button = nullptr;
GLUI_Translation* pad = nullptr;
GLUI_Rollout* manual = nullptr;
GLUI_Spinner* spinner = nullptr;
GLUI_Rotation* ball = nullptr;
float translation[2] = {0.0f, 0.0f};
float duration = 1000.0f;
float rotation[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
int useHybrid = 0;
int reshapes = 0;
int reshapeWindow = 0;
int viewport[4] = {0, 0, 0, 0};
int mainRedraws = 0;

struct Callback {
    int id;
    int variable;
    int currentWindow;
};
std::vector<Callback> callbacks;
std::string keys;
int keyWindow = 0;

void Display() {
    ++mainRedraws;
    glClearColor(0.0f, 0.0f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
}

void Reshape(int, int) {
    ++reshapes;
    reshapeWindow = glutGetWindow();
    GLUI_Master.get_viewport_area(&viewport[0], &viewport[1], &viewport[2], &viewport[3]);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void Keyboard(unsigned char key, int, int) {
    keys += static_cast<char>(key);
    keyWindow = glutGetWindow();
}

void Control(int id) {
    callbacks.push_back({id, useHybrid, glutGetWindow()});
}

// The console's layout in small: a control panel on the right, a view
// panel at the bottom; built once per process.
bool BuildWindow() {
    if (!StartGlut()) {
        return false;
    }
    if (mainWindow != 0) {
        return true;
    }
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(800, 600);
    mainWindow = glutCreateWindow("panels");
    glutDisplayFunc(Display);
    GLUI_Master.set_glutReshapeFunc(Reshape);
    GLUI_Master.set_glutKeyboardFunc(Keyboard);
    GLUI_Master.set_glutSpecialFunc(nullptr);

    controlPanel = GLUI_Master.create_glui_subwindow(mainWindow, GLUI_SUBWINDOW_RIGHT);
    EXPECT_EQ(glutGetWindow(), mainWindow);
    GLUI_Rollout* methods = controlPanel->add_rollout("Methods", true);
    checkbox =
        controlPanel->add_checkbox_to_panel(methods, "Neural-Fuzzy Hybrid", &useHybrid, 1, Control);
    manual = controlPanel->add_rollout("Manual Movement", true);
    spinner =
        controlPanel->add_spinner_to_panel(manual, "Duration:", GLUI_SPINNER_FLOAT, &duration);
    spinner->set_int_limits(0, 3000, GLUI_LIMIT_CLAMP);
    controlPanel->add_statictext("");
    button = controlPanel->add_button("Generate Trajectory", 204, Control);
    controlPanel->set_main_gfx_window(mainWindow);

    viewPanel = GLUI_Master.create_glui_subwindow(mainWindow, GLUI_SUBWINDOW_BOTTOM);
    viewPanel->set_main_gfx_window(mainWindow);
    ball = viewPanel->add_rotation("Rotate Robot View", rotation);
    ball->set_spin(10.0f);
    viewPanel->add_column(false);
    pad = viewPanel->add_translation("Translate View XY", GLUI_TRANSLATION_XY, translation);
    pad->set_speed(0.5f);
    return true;
}

struct Place {
    int x, y, w, h;
};

// A window's place relative to the main window.
Place PlaceOf(int window) {
    glutSetWindow(window);
    Place place{glutGet(GLUT_WINDOW_X), glutGet(GLUT_WINDOW_Y), glutGet(GLUT_WINDOW_WIDTH),
                glutGet(GLUT_WINDOW_HEIGHT)};
    glutSetWindow(mainWindow);
    return place;
}

Place MainPlace() {
    return PlaceOf(mainWindow);
}

// Waits until the panels have measured their controls and taken their places.
void Settle() {
    Pump(60);
    ASSERT_TRUE(PumpUntil([] { return checkbox->w > 0 && button->w > 0; }));
    Pump(60);
}

// Screen coordinates of a point near the left end of a control, moved by
// (dx, dy); the main window sits at the screen's origin (the test display
// has no window manager).
std::string At(const GLUI* panel, const GLUI_Control& control, int dx = 0, int dy = 0) {
    const Place place = PlaceOf(panel->get_glut_window_id());
    return std::to_string(place.x + control.x_abs + 6 + dx) + " " +
           std::to_string(place.y + control.y_abs + control.h / 2 + dy);
}

// Screen coordinates of a spinner's up (+1) or down (-1) arrow, or of its field.
std::string ArrowOf(const GLUI_Control& control, int direction) {
    return At(controlPanel, control, control.w - 12, direction * -control.h / 4);
}
std::string FieldOf(const GLUI_Control& control) {
    return At(controlPanel, control, control.w - 50);
}

void Xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

bool IsIdentity(const float* matrix) {
    for (int i = 0; i < 16; ++i) {
        if (matrix[i] != (i % 5 == 0 ? 1.0f : 0.0f)) {
            return false;
        }
    }
    return true;
}

class PanelWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!BuildWindow()) {
            GTEST_SKIP() << "no X display";
        }
        Settle();
        callbacks.clear();
        keys.clear();
    }
    void TearDown() override { Xdotool("mouseup 1"); }
};

TEST_F(PanelWindowTest, ClicksWriteTheVariableThenCallBackWithTheIdAndRedrawTheView) {
    Xdotool("mousemove --sync " + At(controlPanel, *checkbox) + " click 1");
    ASSERT_TRUE(PumpUntil([] { return !callbacks.empty(); }));
    EXPECT_EQ(useHybrid, 1);
    EXPECT_EQ(callbacks[0].id, 1);
    EXPECT_EQ(callbacks[0].variable, 1);
    EXPECT_EQ(callbacks[0].currentWindow, mainWindow);

    const int redraws = mainRedraws;
    Xdotool("mousemove --sync " + At(controlPanel, *button) + " click 1");
    ASSERT_TRUE(PumpUntil([] { return callbacks.size() == 2; }));
    EXPECT_EQ(callbacks[1].id, 204);
    EXPECT_TRUE(PumpUntil([&] { return mainRedraws > redraws; }));
    EXPECT_EQ(useHybrid, 1);

    Xdotool("mousemove --sync " + At(controlPanel, *checkbox) + " click 1");
    ASSERT_TRUE(PumpUntil([] { return callbacks.size() == 3; }));
    EXPECT_EQ(useHybrid, 0);
    EXPECT_EQ(callbacks[2].variable, 0);
}

TEST_F(PanelWindowTest, DraggingATranslationPadMovesItsNumbersAndRedrawsTheView) {
    const int redraws = mainRedraws;
    Xdotool("mousemove --sync " + At(viewPanel, *pad, 20, -20) + " mousedown 1 mousemove --sync " +
            At(viewPanel, *pad, 40, -30) + " mouseup 1");
    ASSERT_TRUE(PumpUntil([] { return translation[0] != 0.0f; }));
    Pump(20);
    EXPECT_FLOAT_EQ(translation[0], 10.0f);
    EXPECT_FLOAT_EQ(translation[1], 5.0f);
    EXPECT_GT(mainRedraws, redraws);
}

TEST_F(PanelWindowTest, AHeldArrowRepeatsWithoutMotionAndADragFromItMovesTheValue) {
    duration = 1000.0f;
    Xdotool("mousemove --sync " + ArrowOf(*spinner, +1) + " mousedown 1");
    ASSERT_TRUE(PumpUntil([] { return duration > 1000.0f; }));
    EXPECT_FLOAT_EQ(duration, 1003.75f);  // a click's step: an 800th of the range
    // Held still, it goes on by itself.
    EXPECT_TRUE(PumpUntil([] { return duration > 1040.0f; }));
    Xdotool("mouseup 1");
    Pump(20);
    const float held = duration;
    Pump(40);
    EXPECT_EQ(duration, held);

    // Pressed on the down arrow and dragged upwards: the value rises.
    Xdotool("mousemove --sync " + ArrowOf(*spinner, -1) + " mousedown 1");
    ASSERT_TRUE(PumpUntil([&] { return duration < held; }));
    for (int step = 1; step <= 6; ++step) {
        Xdotool("mousemove --sync " + At(controlPanel, *spinner, spinner->w - 12, -10 * step));
        Pump(4);
    }
    Xdotool("mouseup 1");
    EXPECT_TRUE(PumpUntil([&] { return duration > held + 200.0f; })) << duration;
}

TEST_F(PanelWindowTest, ATypedValueCountsOnceTheOperatorClicksIntoTheView) {
    duration = 1000.0f;
    Xdotool("mousemove --sync " + FieldOf(*spinner) + " click 1");
    Pump(10);
    Xdotool("type 2500");
    Pump(10);
    EXPECT_EQ(duration, 1000.0f);
    Xdotool("mousemove --sync 100 100 click 1");
    ASSERT_TRUE(PumpUntil([] { return duration == 2500.0f; }));
    // Esc now goes to the console; the value stays.
    Xdotool("mousemove --sync " + FieldOf(*spinner) + " key Escape");
    ASSERT_TRUE(PumpUntil([] { return !keys.empty(); }));
    EXPECT_EQ(keys, "\x1b");
    EXPECT_EQ(duration, 2500.0f);
}

TEST_F(PanelWindowTest, CollapsingARolloutKeepsThePanelsWidth) {
    const Place before = PlaceOf(controlPanel->get_glut_window_id());
    const int buttonY = button->y_abs;
    const std::string header = At(controlPanel, *manual, 0, 6 - manual->h / 2);
    Xdotool("mousemove --sync " + header + " click 1");
    ASSERT_TRUE(PumpUntil([&] { return button->y_abs < buttonY; }));
    Pump(30);
    const Place collapsed = PlaceOf(controlPanel->get_glut_window_id());
    EXPECT_EQ(collapsed.w, before.w);
    EXPECT_EQ(collapsed.x, before.x);
    Xdotool("click 1");  // the pointer is still on the header
    ASSERT_TRUE(PumpUntil([&] { return button->y_abs == buttonY; }));
    Pump(30);
    EXPECT_EQ(PlaceOf(controlPanel->get_glut_window_id()).w, before.w);
}

TEST_F(PanelWindowTest, ADoubleClickOnTheBallResetsTheRotation) {
    Xdotool("mousemove --sync " + At(viewPanel, *ball, 30, -20) + " mousedown 1 mousemove --sync " +
            At(viewPanel, *ball, 50, -10) + " sleep 0.3 mouseup 1");
    ASSERT_TRUE(PumpUntil([] { return !IsIdentity(rotation); }));
    Pump(20);
    Xdotool("mousemove --sync " + At(viewPanel, *ball, 34, -20) +
            " sleep 0.5 click --repeat 2 --delay 80 1");
    EXPECT_TRUE(PumpUntil([] { return IsIdentity(rotation); }));
}

TEST_F(PanelWindowTest, KeysOverAPanelReachTheConsoleKeyboardFunction) {
    Xdotool("mousemove --sync " + At(controlPanel, *button) + " key a");
    ASSERT_TRUE(PumpUntil([] { return !keys.empty(); }));
    EXPECT_EQ(keys, "a");
    EXPECT_EQ(keyWindow, mainWindow);
}

TEST_F(PanelWindowTest, PanelsKeepTheirSidesAndTheViewportFollowsAReshape) {
    for (const auto& size : {std::pair{700, 500}, std::pair{900, 640}}) {
        const int before = reshapes;
        glutSetWindow(mainWindow);
        glutReshapeWindow(size.first, size.second);
        ASSERT_TRUE(PumpUntil([&] { return reshapes > before && MainPlace().w == size.first; }));
        Pump(60);
        // The console sets its view port in the main window's GL context.
        EXPECT_EQ(reshapeWindow, mainWindow);
        const Place right = PlaceOf(controlPanel->get_glut_window_id());
        const Place bottom = PlaceOf(viewPanel->get_glut_window_id());
        // Right panel: full height along the right edge.
        EXPECT_EQ(right.x + right.w, size.first);
        EXPECT_EQ(right.y, 0);
        EXPECT_EQ(right.h, size.second);
        // Bottom panel: under the view, up to the right panel.
        EXPECT_EQ(bottom.x, 0);
        EXPECT_EQ(bottom.y + bottom.h, size.second);
        EXPECT_EQ(bottom.w, right.x);
        // The view port is what is left, in GL coordinates.
        EXPECT_EQ(viewport[0], 0);
        EXPECT_EQ(viewport[1], bottom.h);
        EXPECT_EQ(viewport[2], size.first - right.w);
        EXPECT_EQ(viewport[3], size.second - bottom.h);
        EXPECT_GT(right.w, checkbox->w);
        EXPECT_GT(bottom.h, 80);
    }
}

// A program with panels, its output in a pipe: the banner arrives while it
// runs, and closing its window ends it with status 0.
TEST(PanelProgram, PrintsAsItGoesAndEndsWhenItsWindowIsClosed) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "no X display";
    }
    // The timeout ends a program that would not close, without flushing it.
    FILE* output = popen("timeout 20 " SCENE_PREVIEW " 2>/dev/null; echo status $?", "r");
    ASSERT_NE(output, nullptr);
    std::string printed;
    char line[256];
    while (printed.find("Using GLUI version: 2.01\n") == std::string::npos &&
           std::fgets(line, sizeof line, output) != nullptr) {
        printed += line;
    }
    EXPECT_NE(printed.find("Using GLUI version: 2.01\n"), std::string::npos) << printed;

    FILE* search = popen("xdotool search --sync --name '^Tendon$'", "r");
    ASSERT_NE(search, nullptr);
    unsigned long window = 0;
    EXPECT_EQ(std::fscanf(search, "%lu", &window), 1);
    pclose(search);
    EXPECT_TRUE(AskWindowToClose(window));

    std::string rest;
    while (std::fgets(line, sizeof line, output) != nullptr) {
        rest += line;
    }
    pclose(output);
    EXPECT_NE(rest.find("status 0\n"), std::string::npos) << rest;
}

}  // namespace
