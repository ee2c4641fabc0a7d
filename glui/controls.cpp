// The controls and their live variables, drawn into the current ImGui frame.
#include <GL/freeglut.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "glui/glui.h"

namespace {

constexpr float kFieldWidth = 100.0f;
constexpr float kArrowWidth = 13.0f;
// Spinner fields line up after labels up to this wide.
constexpr float kLabelWidth = 76.0f;
constexpr float kPadSize = 80.0f;
constexpr float kColumnGap = 12.0f;
// Spinner steps: a click moves by the range / kStepsAcrossRange; held, the
// step repeats after kRepeatDelay every kRepeatInterval seconds and grows by
// kRepeatGrowth each time, up to kMostGrowth times the first. A drag starts
// kDragThreshold pixels above or below the press; each pixel then counts
// 1 + distance / kDragGrowth first steps, up to kMostGrowth.
constexpr float kStepsAcrossRange = 800.0f;
constexpr float kLeastFreeStep = 0.01f;
constexpr double kRepeatDelay = 0.4;
constexpr double kRepeatInterval = 0.04;
constexpr float kRepeatGrowth = 1.05f;
constexpr float kMostGrowth = 8.0f;
constexpr float kDragThreshold = 3.0f;
constexpr float kDragGrowth = 16.0f;
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

// A pad's label under it, wrapped at the pad's width so that the columns
// stay narrow.
void DrawLabel(const std::string& label) {
    ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + kPadSize);
    ImGui::TextUnformatted(label.c_str());
    ImGui::PopTextWrapPos();
}

// A shaded ball lit from the upper left, with the three axes of `matrix`
// (column-major) as seen from the front: those pointing away are faint.
void DrawBall(ImDrawList* draw, ImVec2 centre, float radius, const float* matrix, bool active) {
    constexpr int kRings = 10;
    constexpr int kSegments = 36;
    const float light[3] = {-0.45f, 0.55f, 0.70f};
    const float halfway[3] = {light[0], light[1], light[2] + 1.0f};
    const float halfway_length =
        std::sqrt(halfway[0] * halfway[0] + halfway[1] * halfway[1] + halfway[2] * halfway[2]);
    const ImVec4 base =
        active ? ImVec4(0.55f, 0.70f, 0.95f, 1.0f) : ImVec4(0.70f, 0.72f, 0.78f, 1.0f);
    const ImVec2 white = ImGui::GetFontTexUvWhitePixel();
    // The surface point at ring r, segment k, and its lit colour.
    const auto vertex = [&](int ring, int segment) {
        const float along = static_cast<float>(ring) / kRings;
        const float angle = 2.0f * 3.14159265f * static_cast<float>(segment) / kSegments;
        const float x = along * std::cos(angle);
        const float y = along * std::sin(angle);
        const float z = std::sqrt(std::max(0.0f, 1.0f - x * x - y * y));
        const float diffuse = std::max(0.0f, x * light[0] + y * light[1] + z * light[2]);
        const float facing =
            std::max(0.0f, (x * halfway[0] + y * halfway[1] + z * halfway[2]) / halfway_length);
        const float shine = 0.6f * std::pow(facing, 24.0f);
        const float lit = 0.30f + 0.75f * diffuse;
        const ImVec4 colour(std::min(1.0f, base.x * lit + shine),
                            std::min(1.0f, base.y * lit + shine),
                            std::min(1.0f, base.z * lit + shine), 1.0f);
        draw->PrimWriteVtx(ImVec2(centre.x + radius * x, centre.y - radius * y), white,
                           ImGui::ColorConvertFloat4ToU32(colour));
    };
    const int vertices = 1 + kRings * kSegments;
    draw->PrimReserve(3 * kSegments * (2 * kRings - 1), vertices);
    const ImDrawIdx first = static_cast<ImDrawIdx>(draw->_VtxCurrentIdx);
    vertex(0, 0);
    for (int ring = 1; ring <= kRings; ++ring) {
        for (int segment = 0; segment < kSegments; ++segment) {
            vertex(ring, segment);
        }
    }
    const auto index = [&](int ring, int segment) {
        return static_cast<ImDrawIdx>(
            ring == 0 ? first : first + 1 + (ring - 1) * kSegments + segment % kSegments);
    };
    for (int segment = 0; segment < kSegments; ++segment) {
        draw->PrimWriteIdx(index(0, 0));
        draw->PrimWriteIdx(index(1, segment));
        draw->PrimWriteIdx(index(1, segment + 1));
        for (int ring = 1; ring < kRings; ++ring) {
            draw->PrimWriteIdx(index(ring, segment));
            draw->PrimWriteIdx(index(ring + 1, segment));
            draw->PrimWriteIdx(index(ring + 1, segment + 1));
            draw->PrimWriteIdx(index(ring, segment));
            draw->PrimWriteIdx(index(ring + 1, segment + 1));
            draw->PrimWriteIdx(index(ring, segment + 1));
        }
    }
    draw->AddCircle(centre, radius,
                    ImGui::GetColorU32(active ? ImGuiCol_ButtonActive : ImGuiCol_Border), kSegments,
                    active ? 2.0f : 1.0f);

    const ImU32 colours[3] = {IM_COL32(200, 0, 0, 255), IM_COL32(0, 150, 0, 255),
                              IM_COL32(0, 0, 200, 255)};
    const ImU32 faint[3] = {IM_COL32(200, 0, 0, 90), IM_COL32(0, 150, 0, 90),
                            IM_COL32(0, 0, 200, 90)};
    for (const bool front : {false, true}) {
        for (int axis = 0; axis < 3; ++axis) {
            const float* column = matrix + 4 * axis;
            if ((column[2] >= 0.0f) != front) {
                continue;
            }
            draw->AddLine(
                centre,
                ImVec2(centre.x + 0.8f * radius * column[0], centre.y - 0.8f * radius * column[1]),
                front ? colours[axis] : faint[axis], 2.0f);
        }
    }
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
    draw_field();
    ImGui::SameLine(0.0f, 1.0f);
    draw_arrows();
}

void GLUI_Spinner::draw_field() {
    if (!editing) {
        if (type == GLUI_SPINNER_FLOAT) {
            std::snprintf(text, sizeof text, "%.3f", static_cast<double>(read()));
        } else {
            std::snprintf(text, sizeof text, "%d", *static_cast<int*>(value));
        }
    }
    ImGui::SetNextItemWidth(kFieldWidth);
    // While the field is active ImGui owns the text; Esc puts back the text
    // it had when the edit began.
    ImGui::InputText("##value", text, sizeof text,
                     ImGuiInputTextFlags_CharsScientific | ImGuiInputTextFlags_AutoSelectAll);
    if (ImGui::IsItemActive()) {
        editing = true;
    } else {
        commit();
    }
}

bool GLUI_Spinner::commit() {
    if (!editing) {
        return false;
    }
    editing = false;
    char* end = nullptr;
    const float typed = std::strtof(text, &end);
    if (end == text || !std::isfinite(typed)) {
        return true;
    }
    const float before = read();
    write(typed);
    clamp();
    if (read() != before) {
        changed();
    }
    return true;
}

float GLUI_Spinner::first_step() const {
    if (limit_type != GLUI_LIMIT_NONE && high > low) {
        return (high - low) / kStepsAcrossRange;
    }
    if (type == GLUI_SPINNER_INT) {
        return 1.0f;
    }
    return std::max(kLeastFreeStep, std::fabs(read()) / 100.0f);
}

void GLUI_Spinner::move_by(float amount) {
    held_value += amount;
    if (limit_type == GLUI_LIMIT_CLAMP) {
        held_value = std::clamp(held_value, low, high);
    }
    const float before = read();
    write(held_value);
    if (read() != before) {
        changed();
    }
}

void GLUI_Spinner::draw_arrows() {
    const ImGuiIO& io = ImGui::GetIO();
    const float height = ImGui::GetFrameHeight();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton("arrows", ImVec2(kArrowWidth, height));
    const double now = ImGui::GetTime();
    if (ImGui::IsItemActivated()) {
        held_direction = io.MousePos.y < origin.y + height / 2.0f ? 1 : -1;
        dragging = false;
        held_value = read();
        step = first_step();
        press_y = last_y = io.MousePos.y;
        next_repeat = now + kRepeatDelay;
        move_by(static_cast<float>(held_direction) * step);
    } else if (ImGui::IsItemActive() && held_direction != 0) {
        const float y = io.MousePos.y;
        dragging = dragging || std::fabs(y - press_y) > kDragThreshold;
        if (dragging) {
            // Each pixel moved counts a step that grows with the distance
            // from the press.
            const float growth = std::min(kMostGrowth, 1.0f + std::fabs(y - press_y) / kDragGrowth);
            move_by((last_y - y) * first_step() * growth);
        } else if (now >= next_repeat) {
            step = std::min(step * kRepeatGrowth, first_step() * kMostGrowth);
            move_by(static_cast<float>(held_direction) * step);
            next_repeat = std::max(next_repeat + kRepeatInterval, now);
        }
        last_y = y;
    }
    if (!ImGui::IsItemActive()) {
        held_direction = 0;
    }

    // Two arrow buttons, the pressed one (both while dragging) drawn active.
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const bool hovered = ImGui::IsItemHovered();
    const float half = height / 2.0f;
    for (const int direction : {1, -1}) {
        const float top = origin.y + (direction > 0 ? 0.0f : half);
        const ImVec2 min(origin.x, top);
        const ImVec2 max(origin.x + kArrowWidth, top + half);
        const bool pressed = held_direction == direction || (dragging && held());
        const bool under = hovered && io.MousePos.y >= min.y && io.MousePos.y < max.y;
        const ImGuiCol colour =
            pressed ? ImGuiCol_ButtonActive : (under ? ImGuiCol_ButtonHovered : ImGuiCol_Button);
        draw->AddRectFilled(min, max, ImGui::GetColorU32(colour));
        draw->AddRect(min, max, ImGui::GetColorU32(ImGuiCol_Border));
        const float cx = origin.x + kArrowWidth / 2.0f;
        const float cy = top + half / 2.0f;
        const float d = static_cast<float>(direction) * half * 0.22f;
        const float wide = kArrowWidth * 0.25f;
        draw->AddTriangleFilled(ImVec2(cx, cy - d), ImVec2(cx - wide, cy + d),
                                ImVec2(cx + wide, cy + d), ImGui::GetColorU32(ImGuiCol_Text));
    }
}

GLUI_Rotation::GLUI_Rotation(GLUI* owner, const char* label, float* live_var, int id,
                             GLUI_Update_CB update_cb)
    : GLUI_Control(owner, label, id, update_cb), matrix(live_var ? live_var : own_matrix) {}

void GLUI_Rotation::draw() {
    const ImGuiIO& io = ImGui::GetIO();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton("ball", ImVec2(kPadSize, kPadSize));
    if (ImGui::IsItemHovered() && ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) {
        reset();
    }
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

    DrawBall(ImGui::GetWindowDrawList(),
             ImVec2(origin.x + kPadSize / 2.0f, origin.y + kPadSize / 2.0f), kPadSize / 2.0f - 1.0f,
             matrix, ImGui::IsItemActive());
    DrawLabel(name);
}

void GLUI_Rotation::reset() {
    for (int i = 0; i < 16; ++i) {
        matrix[i] = i % 5 == 0 ? 1.0f : 0.0f;
    }
    spin.angle = 0.0f;
    last_drag.angle = 0.0f;
    changed();
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
    const ImGuiCol fill = ImGui::IsItemActive()    ? ImGuiCol_FrameBgActive
                          : ImGui::IsItemHovered() ? ImGuiCol_FrameBgHovered
                                                   : ImGuiCol_FrameBg;
    draw->AddRectFilled(origin, corner, ImGui::GetColorU32(fill));
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
    DrawLabel(name);
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
    GLUI_Spinner* spinner = add<GLUI_Spinner>(panel, name, data_type, live_var, id, callback);
    spinners.push_back(spinner);
    return spinner;
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

bool GLUI::commit_fields() {
    bool committed = false;
    for (GLUI_Spinner* spinner : spinners) {
        if (!spinner->commit()) {
            continue;
        }
        committed = true;
        // End ImGui's edit as well, or a later Esc would bring the old text
        // back. A panel without a window of its own uses the current context.
        ImGuiContext* current = ImGui::GetCurrentContext();
        if (context != nullptr) {
            ImGui::SetCurrentContext(context);
        }
        if (ImGui::GetCurrentContext() != nullptr) {
            ImGui::ClearActiveID();
        }
        ImGui::SetCurrentContext(current);
    }
    return committed;
}

bool GLUI::animating() const {
    return std::any_of(rotations.begin(), rotations.end(),
                       [](const GLUI_Rotation* r) { return r->spinning(); }) ||
           std::any_of(spinners.begin(), spinners.end(),
                       [](const GLUI_Spinner* s) { return s->held(); });
}

void GLUI::run_callbacks() {
    // A callback may read any panel's variables: typed text counts first.
    if (std::any_of(pending.begin(), pending.end(),
                    [](const GLUI_Control* c) { return c->callback != nullptr; })) {
        commit_fields();
        GLUI_Master.commit_fields();
    }
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
