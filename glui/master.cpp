// The GLUT side of the panels: one subwindow and one ImGui context per
// panel, event routing, layout around the view and the rotation spin.
#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "glui/glui.h"

// Constructed before the program's other static objects, so that output
// they print is line-buffered too.
GLUI_Master_Object GLUI_Master __attribute__((init_priority(101)));

namespace {

// Panel sizes until a panel has measured its controls.
constexpr int kFirstRightWidth = 200;
constexpr int kFirstBottomHeight = 120;
// ImGui needs a frame or two after an event to settle hover and focus.
constexpr int kFramesAfterInput = 2;
// Frame interval while a panel animates (a spin, a held spinner arrow).
constexpr unsigned kTickIntervalMs = 20;

// A light, plain, compact theme.
void ApplyStyle() {
    ImGui::StyleColorsLight();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 0.0f;
    style.WindowBorderSize = 0.0f;
    style.WindowPadding = ImVec2(6.0f, 6.0f);
    style.FramePadding = ImVec2(4.0f, 2.0f);
    style.ItemSpacing = ImVec2(6.0f, 2.0f);
    style.FrameBorderSize = 1.0f;
}

// Runs `action` with `window` current and makes the previous window current again.
template <typename F>
void WithWindow(int window, F action) {
    const int previous = glutGetWindow();
    glutSetWindow(window);
    action();
    // Also when `window` was current: the action may have made another one current.
    if (previous != 0) {
        glutSetWindow(previous);
    }
}

}  // namespace

GLUI_Master_Object::GLUI_Master_Object() {
    // Messages then reach a log file or a pipe when printed, not at exit.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
}

GLUI::~GLUI() {
    if (context != nullptr) {
        ImGui::SetCurrentContext(context);
        ImGui_ImplOpenGL2_Shutdown();
        ImGui_ImplGLUT_Shutdown();
        ImGui::DestroyContext(context);
    }
}

void GLUI::sync_live() {
    if (window_id != 0) {
        glutPostWindowRedisplay(window_id);
    }
}

void GLUI::want_frames() {
    frames_wanted = kFramesAfterInput;
    glutPostWindowRedisplay(window_id);
}

void GLUI::display() {
    ImGui::SetCurrentContext(context);
    ImGuiIO& io = ImGui::GetIO();
    const int width = glutGet(GLUT_WINDOW_WIDTH);
    const int height = glutGet(GLUT_WINDOW_HEIGHT);
    io.DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(height));
    // Each panel keeps its own clock (the GLUT backend's is shared by all
    // contexts, so a panel's time would lag while the other one draws).
    const int now = glutGet(GLUT_ELAPSED_TIME);
    io.DeltaTime = static_cast<float>(std::max(1, now - last_frame_ms)) / 1000.0f;
    last_frame_ms = now;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui::NewFrame();

    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(io.DisplaySize);
    // A bottom panel narrower than its controls scrolls sideways, a right
    // panel shorter than its controls scrolls up and down.
    ImGui::Begin("panel", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                     (side == GLUI_SUBWINDOW_BOTTOM ? ImGuiWindowFlags_HorizontalScrollbar : 0));
    draw_controls();
    const ImGuiStyle& style = ImGui::GetStyle();
    const bool scrolls = side == GLUI_SUBWINDOW_RIGHT ? ImGui::GetScrollMaxY() > 0.0f
                                                      : ImGui::GetScrollMaxX() > 0.0f;
    ImGui::End();
    ImGui::Render();

    glViewport(0, 0, width, height);
    const ImVec4 background = style.Colors[ImGuiCol_WindowBg];
    glClearColor(background.x, background.y, background.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glutSwapBuffers();

    const float needed = side == GLUI_SUBWINDOW_RIGHT
                             ? content_width() + 2.0f * style.WindowPadding.x
                             : content_height() + 2.0f * style.WindowPadding.y;
    const int needed_pixels =
        static_cast<int>(std::ceil(needed + (scrolls ? style.ScrollbarSize : 0.0f)));
    if (needed_pixels > extent) {
        extent = needed_pixels;
        GLUI_Master.panel_resized();
    }
    // The GL drawable may follow a resize a frame late: draw again.
    if (width != drawn_size[0] || height != drawn_size[1]) {
        drawn_size[0] = width;
        drawn_size[1] = height;
        frames_wanted = kFramesAfterInput;
    }
    if (frames_wanted > 0) {
        --frames_wanted;
        glutPostWindowRedisplay(window_id);
    }
    if (animating()) {
        GLUI_Master.arm_tick_timer();
    }
    run_callbacks();
}

GLUI* GLUI_Master_Object::create_glui_subwindow(int parent_window, long flags) {
    auto created = std::make_unique<GLUI>();
    GLUI* panel = created.get();
    panel->side = flags == GLUI_SUBWINDOW_BOTTOM ? GLUI_SUBWINDOW_BOTTOM : GLUI_SUBWINDOW_RIGHT;
    main_window = parent_window;

    // Closing the main window ends the process at once (exit(0)).
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    const int previous = glutGetWindow();
    panel->window_id =
        glutCreateSubWindow(parent_window, 0, 0, kFirstRightWidth, kFirstBottomHeight);
    glutDisplayFunc(display_cb);
    glutReshapeFunc(reshape_cb);
    glutMouseFunc(mouse_cb);
    glutMotionFunc(motion_cb);
    glutPassiveMotionFunc(motion_cb);
    glutMouseWheelFunc(wheel_cb);
    glutEntryFunc(entry_cb);
    glutKeyboardFunc(keyboard_cb);
    glutKeyboardUpFunc(keyboard_up_cb);
    glutSpecialFunc(special_cb);
    glutSpecialUpFunc(special_up_cb);

    panel->context = ImGui::CreateContext();
    ImGui::SetCurrentContext(panel->context);
    ImGui::GetIO().IniFilename = nullptr;
    ApplyStyle();
    ImGui_ImplGLUT_Init();
    ImGui_ImplOpenGL2_Init();

    panels.push_back(std::move(created));
    auto_set_viewport();
    if (previous != 0) {
        glutSetWindow(previous);
    }
    return panel;
}

void GLUI_Master_Object::set_glutReshapeFunc(void (*f)(int width, int height)) {
    reshape_func = f;
    main_window = glutGetWindow();
    glutReshapeFunc(main_reshape_cb);
}

void GLUI_Master_Object::set_glutKeyboardFunc(void (*f)(unsigned char key, int x, int y)) {
    keyboard_func = f;
    glutKeyboardFunc(f);
}

void GLUI_Master_Object::set_glutSpecialFunc(void (*f)(int key, int x, int y)) {
    special_func = f;
    glutSpecialFunc(f);
}

void GLUI_Master_Object::set_glutMouseFunc(void (*f)(int button, int state, int x, int y)) {
    mouse_func = f;
    glutMouseFunc(main_mouse_cb);
}

void GLUI_Master_Object::get_viewport_area(int* x, int* y, int* w, int* h) {
    *x = viewport[0];
    *y = viewport[1];
    *w = viewport[2];
    *h = viewport[3];
}

void GLUI_Master_Object::auto_set_viewport() {
    if (main_window == 0) {
        return;
    }
    WithWindow(main_window, [this] {
        const int width = glutGet(GLUT_WINDOW_WIDTH);
        const int height = glutGet(GLUT_WINDOW_HEIGHT);
        // The free area in window coordinates (origin top left).
        int left = 0, top = 0, right = width, bottom = height;
        for (const auto& panel : panels) {
            if (panel->side == GLUI_SUBWINDOW_RIGHT) {
                const int wanted = panel->extent > 0 ? panel->extent : kFirstRightWidth;
                const int strip = std::max(1, std::min(wanted, right - left - 1));
                right -= strip;
                glutSetWindow(panel->window_id);
                glutPositionWindow(right, top);
                glutReshapeWindow(strip, std::max(1, bottom - top));
                glutPostRedisplay();
            } else {
                const int wanted = panel->extent > 0 ? panel->extent : kFirstBottomHeight;
                const int strip = std::max(1, std::min(wanted, bottom - top - 1));
                bottom -= strip;
                glutSetWindow(panel->window_id);
                glutPositionWindow(left, bottom);
                glutReshapeWindow(std::max(1, right - left), strip);
                glutPostRedisplay();
            }
        }
        viewport[0] = left;
        viewport[1] = height - bottom;
        viewport[2] = std::max(0, right - left);
        viewport[3] = std::max(0, bottom - top);
    });
}

GLUI* GLUI_Master_Object::panel_of_current_window() const {
    const int window = glutGetWindow();
    for (const auto& panel : panels) {
        if (panel->window_id == window) {
            return panel.get();
        }
    }
    return nullptr;
}

void GLUI_Master_Object::panel_resized() {
    auto_set_viewport();
    if (reshape_func != nullptr) {
        WithWindow(main_window, [this] {
            reshape_func(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
        });
    }
}

void GLUI_Master_Object::commit_fields() {
    for (const auto& panel : panels) {
        if (panel->commit_fields()) {
            panel->want_frames();
        }
    }
}

void GLUI_Master_Object::arm_tick_timer() {
    if (!tick_timer_armed) {
        tick_timer_armed = true;
        glutTimerFunc(kTickIntervalMs, tick_timer_cb, 0);
    }
}

// A held arrow repeats and a spin goes on without input: draw a frame.
void GLUI_Master_Object::tick_timer_cb(int) {
    GLUI_Master.tick_timer_armed = false;
    for (const auto& panel : GLUI_Master.panels) {
        if (!panel->animating()) {
            continue;
        }
        for (GLUI_Rotation* rotation : panel->rotations) {
            if (rotation->spinning()) {
                rotation->spin_step();
            }
        }
        panel->sync_live();
    }
}

void GLUI_Master_Object::display_cb() {
    if (GLUI* panel = GLUI_Master.panel_of_current_window()) {
        panel->display();
    }
}

void GLUI_Master_Object::reshape_cb(int, int) {
    glutPostRedisplay();
}

void GLUI_Master_Object::mouse_cb(int button, int state, int x, int y) {
    GLUI* panel = GLUI_Master.panel_of_current_window();
    if (panel == nullptr) {
        return;
    }
    if (state == GLUT_DOWN) {
        // A press here ends the typing in the other panels.
        for (const auto& other : GLUI_Master.panels) {
            if (other.get() != panel && other->commit_fields()) {
                other->want_frames();
            }
        }
    }
    // The backend sets the button state directly, so a press, a drag and a
    // release that arrive between two frames would be lost: a frame takes
    // the press where it happened, another sees the drag before the release
    // is passed on, and one sees a release that no frame has seen yet
    // before the next press (the second click of a double-click).
    ImGui::SetCurrentContext(panel->context);
    const int index = button == GLUT_LEFT_BUTTON ? 0 : button == GLUT_RIGHT_BUTTON ? 1 : 2;
    if (state == GLUT_UP || ImGui::GetIO().MouseDownDuration[index] >= 0.0f) {
        panel->display();
    }
    ImGui::SetCurrentContext(panel->context);
    ImGui_ImplGLUT_MouseFunc(button, state, x, y);
    if (state == GLUT_DOWN) {
        panel->display();
    }
    panel->want_frames();
}

void GLUI_Master_Object::motion_cb(int x, int y) {
    if (GLUI* panel = GLUI_Master.panel_of_current_window()) {
        ImGui::SetCurrentContext(panel->context);
        ImGui_ImplGLUT_MotionFunc(x, y);
        panel->want_frames();
    }
}

void GLUI_Master_Object::wheel_cb(int wheel, int direction, int x, int y) {
    if (GLUI* panel = GLUI_Master.panel_of_current_window()) {
        ImGui::SetCurrentContext(panel->context);
        if (panel->side == GLUI_SUBWINDOW_BOTTOM) {
            // The bottom panel scrolls only sideways.
            ImGui::GetIO().MouseWheelH += static_cast<float>(direction);
        } else {
            ImGui_ImplGLUT_MouseWheelFunc(wheel, direction, x, y);
        }
        panel->want_frames();
    }
}

void GLUI_Master_Object::entry_cb(int state) {
    GLUI* panel = GLUI_Master.panel_of_current_window();
    if (panel != nullptr && state == GLUT_LEFT) {
        // The keys now go elsewhere: what was typed counts.
        panel->commit_fields();
        ImGui::SetCurrentContext(panel->context);
        ImGui::GetIO().MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
        panel->want_frames();
    }
}

template <typename Key>
void GLUI_Master_Object::route_key(Key key, int x, int y, void (*to_panel)(Key, int, int),
                                   void (*to_console)(Key, int, int)) {
    GLUI* panel = GLUI_Master.panel_of_current_window();
    if (panel == nullptr) {
        return;
    }
    ImGui::SetCurrentContext(panel->context);
    // Asked of the active item rather than io.WantTextInput, which follows
    // a frame late (a key may come right after a field was committed).
    const ImGuiID active = ImGui::GetActiveID();
    if (active != 0 && ImGui::GetInputTextState(active) != nullptr) {
        to_panel(key, x, y);
        panel->want_frames();
    } else if (to_console != nullptr) {
        WithWindow(GLUI_Master.main_window, [&] { to_console(key, x, y); });
    }
}

void GLUI_Master_Object::keyboard_cb(unsigned char key, int x, int y) {
    route_key(key, x, y, ImGui_ImplGLUT_KeyboardFunc, GLUI_Master.keyboard_func);
}

void GLUI_Master_Object::keyboard_up_cb(unsigned char key, int x, int y) {
    if (GLUI* panel = GLUI_Master.panel_of_current_window()) {
        ImGui::SetCurrentContext(panel->context);
        ImGui_ImplGLUT_KeyboardUpFunc(key, x, y);
    }
}

void GLUI_Master_Object::special_cb(int key, int x, int y) {
    route_key(key, x, y, ImGui_ImplGLUT_SpecialFunc, GLUI_Master.special_func);
}

void GLUI_Master_Object::special_up_cb(int key, int x, int y) {
    if (GLUI* panel = GLUI_Master.panel_of_current_window()) {
        ImGui::SetCurrentContext(panel->context);
        ImGui_ImplGLUT_SpecialUpFunc(key, x, y);
    }
}

void GLUI_Master_Object::main_mouse_cb(int button, int state, int x, int y) {
    if (state == GLUT_DOWN) {
        GLUI_Master.commit_fields();
    }
    if (GLUI_Master.mouse_func != nullptr) {
        GLUI_Master.mouse_func(button, state, x, y);
    }
}

void GLUI_Master_Object::main_reshape_cb(int width, int height) {
    GLUI_Master.auto_set_viewport();
    if (GLUI_Master.reshape_func != nullptr) {
        GLUI_Master.reshape_func(width, height);
    }
}
