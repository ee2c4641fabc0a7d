// Control panels with the GLUI 2.x programming interface (the subset the
// console uses), drawn with Dear ImGui.
//
// Every panel made by GLUI_Master.create_glui_subwindow is a GLUT subwindow
// of the main window with an ImGui context of its own, so the main window's
// display callback draws only the view, and a panel keeps its last frame
// while a callback blocks the loop.
//
// Live variables: a control reads its variable at every panel frame, so a
// program's change shows at the panel's next frame (sync_live asks for one);
// an operator's edit writes the variable at once, except that a spinner's
// typed text is written when the field is committed: on Enter, on a click
// elsewhere, when the pointer leaves its panel and before any callback runs.
// Callbacks run after the panel's frame has been drawn and swapped, with the
// main graphics window current, each with the control's id; every change
// then asks the main graphics window for a redraw. Check-box variables are
// int (0 or 1).
//
// The program's standard output is line-buffered from static
// initialisation on (GLUI_Master's set-up), so messages reach a log file or
// a pipe when they are printed. Once a panel exists, closing the main
// window ends the process with exit(0).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "glui/arcball.h"

constexpr float GLUI_VERSION = 2.01f;

enum { GLUI_SUBWINDOW_BOTTOM = 2, GLUI_SUBWINDOW_RIGHT = 4 };
enum { GLUI_SPINNER_INT = 1, GLUI_SPINNER_FLOAT = 2 };
enum { GLUI_LIMIT_NONE = 0, GLUI_LIMIT_CLAMP = 1 };
enum { GLUI_ALIGN_CENTER = 1, GLUI_ALIGN_RIGHT = 2, GLUI_ALIGN_LEFT = 3 };
enum {
    GLUI_TRANSLATION_XY = 0,
    GLUI_TRANSLATION_Z = 1,
    GLUI_TRANSLATION_X = 2,
    GLUI_TRANSLATION_Y = 3
};

using GLUI_Update_CB = void (*)(int id);

class GLUI;

class GLUI_Control {
  public:
    GLUI_Control(const GLUI_Control&) = delete;
    GLUI_Control& operator=(const GLUI_Control&) = delete;
    virtual ~GLUI_Control() = default;

    void set_alignment(int new_alignment) { alignment = new_alignment; }

    // Place and size of the control in its panel window at the last frame,
    // in pixels from the window's top-left corner.
    int x_abs = 0, y_abs = 0, w = 0, h = 0;

  protected:
    GLUI_Control(GLUI* owner, const char* label, int id, GLUI_Update_CB update_cb);

    // Adds the control to the current ImGui frame.
    virtual void draw() = 0;
    // Moves the cursor so that the control sits as its alignment asks.
    void align();
    // Records the last drawn item as the control's place.
    void record_place();
    // Queues the callback after an operator's edit.
    void changed();

    GLUI* glui;
    std::string name;
    int user_id;
    GLUI_Update_CB callback;
    int alignment = GLUI_ALIGN_LEFT;

    friend class GLUI;
    friend class GLUI_Panel;
};

class GLUI_Panel : public GLUI_Control {
  public:
    explicit GLUI_Panel(GLUI* owner) : GLUI_Control(owner, "", -1, nullptr) {}

  protected:
    void draw() override;
    // Draws the children, each column side by side.
    void draw_children();

    std::vector<GLUI_Control*> children;
    friend class GLUI;
};

class GLUI_Rollout : public GLUI_Panel {
  public:
    GLUI_Rollout(GLUI* owner, const char* label, bool open);

  private:
    void draw() override;
    bool initially_open;
};

class GLUI_Column : public GLUI_Control {
  public:
    GLUI_Column(GLUI* owner, bool draw_bar);
    bool has_bar() const { return bar; }

  private:
    void draw() override {}
    bool bar;
};

class GLUI_StaticText : public GLUI_Control {
  public:
    GLUI_StaticText(GLUI* owner, const char* text) : GLUI_Control(owner, text, -1, nullptr) {}

  private:
    void draw() override;
};

class GLUI_Button : public GLUI_Control {
  public:
    GLUI_Button(GLUI* owner, const char* label, int id, GLUI_Update_CB update_cb)
        : GLUI_Control(owner, label, id, update_cb) {}

  private:
    void draw() override;
};

class GLUI_Checkbox : public GLUI_Control {
  public:
    GLUI_Checkbox(GLUI* owner, const char* label, int* live_var, int id, GLUI_Update_CB update_cb);

  private:
    void draw() override;
    int own_value = 0;
    int* value;
};

// A text field with two arrows stacked at its right. A click on an arrow
// steps the value once; holding it repeats the step after a short delay at
// a steady rate, the step growing as it repeats; dragging up or down from
// an arrow changes the value with the drag, faster the further it goes.
// The step is an 800th of the limits' range and grows to a 100th.
class GLUI_Spinner : public GLUI_Control {
  public:
    GLUI_Spinner(GLUI* owner, const char* label, int data_type, void* live_var, int id,
                 GLUI_Update_CB update_cb);

    // Limits of the operator's edits; the current value is brought inside.
    void set_float_limits(float low, float high, int limit_type = GLUI_LIMIT_CLAMP);
    void set_int_limits(int low, int high, int limit_type = GLUI_LIMIT_CLAMP);

    // Whether an arrow is held down (the panel then keeps drawing frames).
    bool held() const { return held_direction != 0; }
    // Writes the typed text, clamped, to the variable if the field is being
    // edited (and says whether it was); unreadable text leaves the variable
    // as it was.
    bool commit();

  private:
    void draw() override;
    void draw_field();
    void draw_arrows();
    float read() const;
    void write(float v);
    void clamp();
    // The step of one click.
    float first_step() const;
    // Moves the held value by `amount` within the limits.
    void move_by(float amount);

    int type;
    float own_float = 0.0f;
    int own_int = 0;
    void* value;
    int limit_type = GLUI_LIMIT_NONE;
    float low = 0.0f, high = 0.0f;

    char text[32] = "";
    bool editing = false;
    // An arrow press: +1 up, -1 down, 0 none.
    int held_direction = 0;
    bool dragging = false;
    float held_value = 0.0f;
    float step = 0.0f;
    float press_y = 0.0f, last_y = 0.0f;
    double next_repeat = 0.0;
};

class GLUI_Rotation : public GLUI_Control {
  public:
    GLUI_Rotation(GLUI* owner, const char* label, float* live_var, int id,
                  GLUI_Update_CB update_cb);

    // After a release while the ball still moves it keeps turning and
    // slows down: each step keeps damp / (damp + 1) of the previous turn,
    // so a larger value turns longer. 0 switches the spin off.
    void set_spin(float damp_factor) { damping = damp_factor; }
    bool spinning() const { return spin.angle != 0.0f; }
    // One spin step: turns the matrix and queues the callback.
    void spin_step();
    // Back to the identity (also a double-click on the ball); stops a spin.
    void reset();

  private:
    void draw() override;

    float own_matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float* matrix;
    float damping = 0.0f;
    arcball::Turn last_drag{{0, 0, 1}, 0.0f};
    double last_drag_time = 0.0;
    arcball::Turn spin{{0, 0, 1}, 0.0f};
};

class GLUI_Translation : public GLUI_Control {
  public:
    GLUI_Translation(GLUI* owner, const char* label, int trans_type, float* live_var, int id,
                     GLUI_Update_CB update_cb);

    // Units moved per pixel of drag.
    void set_speed(float new_speed) { speed = new_speed; }

  private:
    void draw() override;

    int type;
    float own_values[2] = {0.0f, 0.0f};
    float* values;
    float speed = 1.0f;
};

// One panel: its controls, the pending callbacks, and (once shown by
// GLUI_Master) its GLUT subwindow and ImGui context.
class GLUI {
  public:
    GLUI();
    ~GLUI();
    GLUI(const GLUI&) = delete;
    GLUI& operator=(const GLUI&) = delete;

    GLUI_Rollout* add_rollout(const char* name, int open = true);
    GLUI_Spinner* add_spinner_to_panel(GLUI_Panel* panel, const char* name,
                                       int data_type = GLUI_SPINNER_INT, void* live_var = nullptr,
                                       int id = -1, GLUI_Update_CB callback = nullptr);
    GLUI_Checkbox* add_checkbox_to_panel(GLUI_Panel* panel, const char* name,
                                         int* live_var = nullptr, int id = -1,
                                         GLUI_Update_CB callback = nullptr);
    GLUI_Button* add_button(const char* name, int id = -1, GLUI_Update_CB callback = nullptr);
    GLUI_StaticText* add_statictext(const char* name);
    GLUI_Column* add_column(int draw_bar = true);
    GLUI_Rotation* add_rotation(const char* name, float* live_var = nullptr, int id = -1,
                                GLUI_Update_CB callback = nullptr);
    GLUI_Translation* add_translation(const char* name, int trans_type, float* live_var = nullptr,
                                      int id = -1, GLUI_Update_CB callback = nullptr);

    // The window redrawn after every change and current during callbacks.
    void set_main_gfx_window(int window) { main_gfx_window = window; }
    // Redraws the panel so that it shows its variables' current values.
    void sync_live();
    int get_glut_window_id() const { return window_id; }

    // One panel frame, in two steps: draw_controls adds the controls to the
    // current ImGui frame (edits write live variables and queue callbacks);
    // run_callbacks, once the frame is on screen, calls the queued callbacks.
    void draw_controls();
    void run_callbacks();
    // Commits every spinner field of the panel that is being edited; says
    // whether there was one.
    bool commit_fields();
    // Whether the panel needs frames without input: a spin or a held arrow.
    bool animating() const;
    // Size the controls took at the last draw_controls, in pixels.
    float content_width() const { return content[0]; }
    float content_height() const { return content[1]; }

  private:
    template <typename C, typename... A>
    C* add(GLUI_Panel* panel, A... args);
    void queue(GLUI_Control* control) { pending.push_back(control); }
    // GLUT and ImGui side, defined with GLUI_Master.
    void display();
    void want_frames();

    std::vector<std::unique_ptr<GLUI_Control>> controls;
    GLUI_Panel main_panel{this};
    std::vector<GLUI_Control*> pending;
    std::vector<GLUI_Rotation*> rotations;
    std::vector<GLUI_Spinner*> spinners;
    float content[2] = {0.0f, 0.0f};
    int main_gfx_window = 0;

    int window_id = 0;
    int side = 0;
    struct ImGuiContext* context = nullptr;
    // Frames still to draw after an input event, so that ImGui settles.
    int frames_wanted = 0;
    int drawn_size[2] = {0, 0};
    // Width (right panel) or height (bottom panel) the controls have
    // needed so far; 0 before the first frame. It never shrinks, so a
    // collapsed rollout leaves the panel's width as it was.
    int extent = 0;
    // Time of the last frame, for ImGui's clock.
    int last_frame_ms = 0;

    friend class GLUI_Control;
    friend class GLUI_Master_Object;
};

class GLUI_Master_Object {
  public:
    // Makes standard output line-buffered.
    GLUI_Master_Object();

    float get_version() const { return GLUI_VERSION; }

    // A panel along the right or bottom side of `parent_window`. The
    // previously current window stays current.
    GLUI* create_glui_subwindow(int parent_window, long flags);

    // The main window's callbacks, registered on the current window; the
    // reshape function runs after the panels have been laid out. Keys that
    // no text field of a panel takes reach the keyboard and special
    // functions too.
    void set_glutReshapeFunc(void (*f)(int width, int height));
    void set_glutKeyboardFunc(void (*f)(unsigned char key, int x, int y));
    void set_glutSpecialFunc(void (*f)(int key, int x, int y));
    // A press in the main window first commits the panels' typed fields.
    void set_glutMouseFunc(void (*f)(int button, int state, int x, int y));

    // The part of the main window the panels leave free, as a GL viewport
    // (origin at the bottom left).
    void get_viewport_area(int* x, int* y, int* w, int* h);

    // Lays the panels out on the main window's current size: in creation
    // order, a right panel takes the full remaining height at the right
    // edge, a bottom panel the remaining width under the view.
    void auto_set_viewport();

    // Commits the typed spinner fields of every panel.
    void commit_fields();

  private:
    GLUI* panel_of_current_window() const;
    // A panel's needs changed: lay out again and tell the main window.
    void panel_resized();
    // Keeps frames coming while a panel animates (see GLUI::animating).
    void arm_tick_timer();

    // A key typed over a panel: to its text field if one is active, else
    // to the console's function with the main window current.
    template <typename Key>
    static void route_key(Key key, int x, int y, void (*to_panel)(Key, int, int),
                          void (*to_console)(Key, int, int));

    static void display_cb();
    static void reshape_cb(int width, int height);
    static void mouse_cb(int button, int state, int x, int y);
    static void motion_cb(int x, int y);
    static void wheel_cb(int wheel, int direction, int x, int y);
    static void entry_cb(int state);
    static void keyboard_cb(unsigned char key, int x, int y);
    static void keyboard_up_cb(unsigned char key, int x, int y);
    static void special_cb(int key, int x, int y);
    static void special_up_cb(int key, int x, int y);
    static void main_reshape_cb(int width, int height);
    static void main_mouse_cb(int button, int state, int x, int y);
    static void tick_timer_cb(int);

    std::vector<std::unique_ptr<GLUI>> panels;
    int main_window = 0;
    int viewport[4] = {0, 0, 0, 0};
    bool tick_timer_armed = false;
    void (*reshape_func)(int, int) = nullptr;
    void (*mouse_func)(int, int, int, int) = nullptr;
    void (*keyboard_func)(unsigned char, int, int) = nullptr;
    void (*special_func)(int, int, int) = nullptr;

    friend class GLUI;
};

extern GLUI_Master_Object GLUI_Master;
