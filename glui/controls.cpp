// The controls and their live variables, drawn into the current ImGui frame.
#include <GL/freeglut.h>
#include <imgui.h>

#include <algorithm>
#include <cmath>

#include "glui/glui.h"

namespace {

constexpr float kFieldWidth = 120.0f;
// Spinner fields line up after labels up to this wide.
constexpr float kLabelWidth = 76.0f;
constexpr float kPadSize = 80.0f;
constexpr float kColumnGap = 12.0f;
// A release counts as a throw (the ball spins on) only this soon after the
// last turn of the drag, in seconds.
constexpr double kThrowWindow = 0.1;
// A spin stops once a step turns by less than this, in radians.
constexpr float kSmallestSpinStep = 1e-4f;

// Whether the last item is being dragged: active since an earlier frame
// (the frame of the press measures no drag) and the mouse moved.
bool Dragged() {
    const ImGuiIO& io = ImGui::GetIO();
    return ImGui::IsItemActive() && !ImGui::IsItemActivated() &&
           (io.MouseDelta.x != 0.0f || io.MouseDelta.y != 0.0f);
}

}  // namespace

GLUI_Control::GLUI_Control(GLUI* owner, const char* label, int id, GLUI_Update_CB update_cb)
    : glui(owner), name(label), user_id(id), callback(update_cb) {}

void GLUI_Control::align() {
    if (alignment == GLUI_ALIGN_LEFT || w == 0) {
        return;
    }
    const float room = ImGui::GetContentRegionAvail().x - static_cast<float>(w);
    if (room > 0.0f) {
        ImGui::SetCursorPosX(ImGui::GetCursorPosX() +
                             (alignment == GLUI_ALIGN_CENTER ? room / 2.0f : room));
    }
}

void GLUI_Control::record_place() {
    const ImVec2 min = ImGui::GetItemRectMin();
    const ImVec2 max = ImGui::GetItemRectMax();
    x_abs = static_cast<int>(min.x);
    y_abs = static_cast<int>(min.y);
    w = static_cast<int>(max.x - min.x);
    h = static_cast<int>(max.y - min.y);
}

void GLUI_Control::changed() {
    glui->queue(this);
}

void GLUI_Panel::draw() {
    draw_children();
}

void GLUI_Panel::draw_children() {
    ImGui::BeginGroup();
    for (GLUI_Control* child : children) {
        if (auto* column = dynamic_cast<GLUI_Column*>(child)) {
            ImGui::EndGroup();
            const ImVec2 min = ImGui::GetItemRectMin();
            const ImVec2 max = ImGui::GetItemRectMax();
            ImGui::SameLine(0.0f, kColumnGap);
            if (column->has_bar()) {
                const float x = max.x + kColumnGap / 2.0f;
                ImGui::GetWindowDrawList()->AddLine(ImVec2(x, min.y), ImVec2(x, max.y),
                                                    ImGui::GetColorU32(ImGuiCol_Separator));
            }
            ImGui::BeginGroup();
            continue;
        }
        child->align();
        ImGui::PushID(child);
        ImGui::BeginGroup();
        child->draw();
        ImGui::EndGroup();
        ImGui::PopID();
        child->record_place();
    }
    ImGui::EndGroup();
}

GLUI_Rollout::GLUI_Rollout(GLUI* owner, const char* label, bool open)
    : GLUI_Panel(owner), initially_open(open) {
    name = label;
}

void GLUI_Rollout::draw() {
    ImGui::SetNextItemOpen(initially_open, ImGuiCond_Once);
    if (ImGui::CollapsingHeader(name.c_str())) {
        ImGui::Indent();
        draw_children();
        ImGui::Unindent();
    }
}

GLUI_Column::GLUI_Column(GLUI* owner, bool draw_bar)
    : GLUI_Control(owner, "", -1, nullptr), bar(draw_bar) {}

void GLUI_StaticText::draw() {
    ImGui::TextUnformatted(name.empty() ? " " : name.c_str());
}

void GLUI_Button::draw() {
    if (ImGui::Button(name.c_str())) {
        changed();
    }
}

GLUI_Checkbox::GLUI_Checkbox(GLUI* owner, const char* label, int* live_var, int id,
                             GLUI_Update_CB update_cb)
    : GLUI_Control(owner, label, id, update_cb), value(live_var ? live_var : &own_value) {}

void GLUI_Checkbox::draw() {
    bool ticked = *value != 0;
    if (ImGui::Checkbox(name.c_str(), &ticked)) {
        *value = ticked ? 1 : 0;
        changed();
    }
}

GLUI_Spinner::GLUI_Spinner(GLUI* owner, const char* label, int data_type, void* live_var, int id,
                           GLUI_Update_CB update_cb)
    : GLUI_Control(owner, label, id, update_cb), type(data_type) {
    if (live_var) {
        value = live_var;
    } else if (type == GLUI_SPINNER_FLOAT) {
        value = &own_float;
    } else {
        value = &own_int;
    }
}

float GLUI_Spinner::read() const {
    return type == GLUI_SPINNER_FLOAT ? *static_cast<float*>(value)
                                      : static_cast<float>(*static_cast<int*>(value));
}

void GLUI_Spinner::write(float v) {
    if (type == GLUI_SPINNER_FLOAT) {
        *static_cast<float*>(value) = v;
    } else {
        *static_cast<int*>(value) = static_cast<int>(std::lround(v));
    }
}

void GLUI_Spinner::clamp() {
    if (limit_type == GLUI_LIMIT_CLAMP) {
        write(std::clamp(read(), low, high));
    }
}

void GLUI_Spinner::set_float_limits(float new_low, float new_high, int new_limit_type) {
    low = new_low;
    high = new_high;
    limit_type = new_limit_type;
    clamp();
}

void GLUI_Spinner::set_int_limits(int new_low, int new_high, int new_limit_type) {
    set_float_limits(static_cast<float>(new_low), static_cast<float>(new_high), new_limit_type);
}

void GLUI_Spinner::draw() {
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(name.c_str());
    ImGui::SameLine(std::max(
        kLabelWidth, ImGui::CalcTextSize(name.c_str()).x + ImGui::GetStyle().ItemSpacing.x));
    ImGui::SetNextItemWidth(kFieldWidth);
    // The arrows step by a hundredth of the limits' range.
    float step = type == GLUI_SPINNER_FLOAT ? 0.1f : 1.0f;
    if (limit_type != GLUI_LIMIT_NONE && high > low) {
        step = (high - low) / 100.0f;
        if (type != GLUI_SPINNER_FLOAT) {
            step = std::max(1.0f, std::round(step));
        }
    }
    float v = read();
    const char* format = type == GLUI_SPINNER_FLOAT ? "%.3f" : "%.0f";
    if (ImGui::InputFloat("##value", &v, step, step * 10.0f, format)) {
        write(v);
        clamp();
        changed();
    }
}

GLUI_Rotation::GLUI_Rotation(GLUI* owner, const char* label, float* live_var, int id,
                             GLUI_Update_CB update_cb)
    : GLUI_Control(owner, label, id, update_cb), matrix(live_var ? live_var : own_matrix) {}

void GLUI_Rotation::draw() {
    const ImGuiIO& io = ImGui::GetIO();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton("ball", ImVec2(kPadSize, kPadSize));
    if (ImGui::IsItemActivated()) {
        spin.angle = 0.0f;
        last_drag.angle = 0.0f;
    }
    if (Dragged()) {
        const float x = io.MousePos.x - origin.x;
        const float y = io.MousePos.y - origin.y;
        const arcball::Turn turn = arcball::TurnBetween(
            arcball::BallPoint(x - io.MouseDelta.x, y - io.MouseDelta.y, kPadSize),
            arcball::BallPoint(x, y, kPadSize));
        if (turn.angle > 0.0f) {
            arcball::ApplyTurn(turn, matrix);
            last_drag = turn;
            last_drag_time = ImGui::GetTime();
            changed();
        }
    }
    if (ImGui::IsItemDeactivated() && damping > 0.0f &&
        ImGui::GetTime() - last_drag_time < kThrowWindow) {
        spin = last_drag;
    }

    // The ball with the three axes of the matrix seen from the front.
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const float radius = kPadSize / 2.0f;
    const ImVec2 centre(origin.x + radius, origin.y + radius);
    draw->AddCircleFilled(centre, radius - 1.0f, ImGui::GetColorU32(ImGuiCol_FrameBg), 32);
    draw->AddCircle(centre, radius - 1.0f, ImGui::GetColorU32(ImGuiCol_Border), 32);
    const ImU32 colours[3] = {IM_COL32(200, 0, 0, 255), IM_COL32(0, 150, 0, 255),
                              IM_COL32(0, 0, 200, 255)};
    for (int axis = 0; axis < 3; ++axis) {
        const float* column = matrix + 4 * axis;
        draw->AddLine(
            centre,
            ImVec2(centre.x + 0.8f * radius * column[0], centre.y - 0.8f * radius * column[1]),
            colours[axis], 2.0f);
    }
    ImGui::TextUnformatted(name.c_str());
}

void GLUI_Rotation::spin_step() {
    arcball::ApplyTurn(spin, matrix);
    spin.angle *= damping / (damping + 1.0f);
    if (spin.angle < kSmallestSpinStep) {
        spin.angle = 0.0f;
    }
    changed();
}

GLUI_Translation::GLUI_Translation(GLUI* owner, const char* label, int trans_type, float* live_var,
                                   int id, GLUI_Update_CB update_cb)
    : GLUI_Control(owner, label, id, update_cb),
      type(trans_type),
      values(live_var ? live_var : own_values) {}

void GLUI_Translation::draw() {
    const ImGuiIO& io = ImGui::GetIO();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton("pad", ImVec2(kPadSize, kPadSize));
    if (Dragged()) {
        const float right = io.MouseDelta.x * speed;
        const float up = -io.MouseDelta.y * speed;
        switch (type) {
            case GLUI_TRANSLATION_XY:
                values[0] += right;
                values[1] += up;
                break;
            case GLUI_TRANSLATION_X:
                values[0] += right;
                break;
            default:  // Y and Z follow vertical drags.
                values[0] += up;
                break;
        }
        changed();
    }

    // The pad with arrows along the directions it moves.
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 corner(origin.x + kPadSize, origin.y + kPadSize);
    const ImVec2 centre(origin.x + kPadSize / 2.0f, origin.y + kPadSize / 2.0f);
    const ImU32 ink = ImGui::GetColorU32(ImGuiCol_Text);
    draw->AddRectFilled(origin, corner, ImGui::GetColorU32(ImGuiCol_FrameBg));
    draw->AddRect(origin, corner, ImGui::GetColorU32(ImGuiCol_Border));
    const float reach = kPadSize * 0.35f;
    const float head = kPadSize * 0.08f;
    const auto arrow = [&](float dx, float dy) {
        const ImVec2 tip(centre.x + dx * reach, centre.y + dy * reach);
        draw->AddLine(centre, tip, ink, 1.5f);
        draw->AddTriangleFilled(
            tip, ImVec2(tip.x - dx * head - dy * head, tip.y - dy * head - dx * head),
            ImVec2(tip.x - dx * head + dy * head, tip.y - dy * head + dx * head), ink);
    };
    if (type == GLUI_TRANSLATION_XY || type == GLUI_TRANSLATION_X) {
        arrow(1.0f, 0.0f);
        arrow(-1.0f, 0.0f);
    }
    if (type != GLUI_TRANSLATION_X) {
        arrow(0.0f, 1.0f);
        arrow(0.0f, -1.0f);
    }
    ImGui::TextUnformatted(name.c_str());
    if (type == GLUI_TRANSLATION_XY) {
        ImGui::Text("%.1f  %.1f", values[0], values[1]);
    } else {
        ImGui::Text("%.1f", values[0]);
    }
}

GLUI::GLUI() = default;

template <typename C, typename... A>
C* GLUI::add(GLUI_Panel* panel, A... args) {
    auto control = std::make_unique<C>(this, args...);
    C* added = control.get();
    (panel ? panel : &main_panel)->children.push_back(added);
    controls.push_back(std::move(control));
    return added;
}

GLUI_Rollout* GLUI::add_rollout(const char* name, int open) {
    return add<GLUI_Rollout>(nullptr, name, open != 0);
}

GLUI_Spinner* GLUI::add_spinner_to_panel(GLUI_Panel* panel, const char* name, int data_type,
                                         void* live_var, int id, GLUI_Update_CB callback) {
    return add<GLUI_Spinner>(panel, name, data_type, live_var, id, callback);
}

GLUI_Checkbox* GLUI::add_checkbox_to_panel(GLUI_Panel* panel, const char* name, int* live_var,
                                           int id, GLUI_Update_CB callback) {
    return add<GLUI_Checkbox>(panel, name, live_var, id, callback);
}

GLUI_Button* GLUI::add_button(const char* name, int id, GLUI_Update_CB callback) {
    return add<GLUI_Button>(nullptr, name, id, callback);
}

GLUI_StaticText* GLUI::add_statictext(const char* name) {
    return add<GLUI_StaticText>(nullptr, name);
}

GLUI_Column* GLUI::add_column(int draw_bar) {
    return add<GLUI_Column>(nullptr, draw_bar != 0);
}

GLUI_Rotation* GLUI::add_rotation(const char* name, float* live_var, int id,
                                  GLUI_Update_CB callback) {
    GLUI_Rotation* rotation = add<GLUI_Rotation>(nullptr, name, live_var, id, callback);
    rotations.push_back(rotation);
    return rotation;
}

GLUI_Translation* GLUI::add_translation(const char* name, int trans_type, float* live_var, int id,
                                        GLUI_Update_CB callback) {
    return add<GLUI_Translation>(nullptr, name, trans_type, live_var, id, callback);
}

void GLUI::draw_controls() {
    main_panel.draw_children();
    const ImVec2 size = ImGui::GetItemRectSize();
    content[0] = size.x;
    content[1] = size.y;
}

void GLUI::run_callbacks() {
    std::vector<GLUI_Control*> due;
    due.swap(pending);
    for (GLUI_Control* control : due) {
        if (main_gfx_window == 0) {
            if (control->callback) {
                control->callback(control->user_id);
            }
            continue;
        }
        const int previous = glutGetWindow();
        if (control->callback) {
            glutSetWindow(main_gfx_window);
            control->callback(control->user_id);
        }
        glutPostWindowRedisplay(main_gfx_window);
        if (previous != 0) {
            glutSetWindow(previous);
        }
    }
}
