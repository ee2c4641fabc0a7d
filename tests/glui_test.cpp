// Live variables and callbacks of the panel controls, driven through ImGui
// frames without a window.
#include "glui/glui.h"

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <stdio_ext.h>

#include <cmath>
#include <vector>

#include "glui/arcball.h"

namespace {

struct Call {
    int id;
    int checkbox;
    float first;
    bool duringFrame;
};
std::vector<Call> calls;
int checkboxValue = 0;
float numbers[3] = {0.0f, 0.0f, 0.0f};

void Record(int id) {
    calls.push_back({id, checkboxValue, numbers[0], ImGui::GetCurrentContext()->WithinFrameScope});
}

// One ImGui context standing in for a panel window, with a mouse.
class PanelTest : public ::testing::Test {
  protected:
    PanelTest() {
        ImGui::SetCurrentContext(context);
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(500.0f, 700.0f);
        io.DeltaTime = 1.0f / 60.0f;
        io.KeyMap[ImGuiKey_Enter] = 13;
        io.KeyMap[ImGuiKey_Escape] = 27;
        unsigned char* pixels;
        int width, height;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
        calls.clear();
        checkboxValue = 0;
        numbers[0] = numbers[1] = numbers[2] = 0.0f;
        Frame();
    }
    ~PanelTest() override { ImGui::DestroyContext(context); }

    void Frame() {
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("panel", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoMove);
        panel.draw_controls();
        ImGui::End();
        ImGui::Render();
        panel.run_callbacks();
    }

    void MoveTo(float x, float y) {
        ImGui::GetIO().MousePos = ImVec2(x, y);
        Frame();
    }
    void Press(bool down) {
        ImGui::GetIO().MouseDown[0] = down;
        Frame();
    }
    void ClickAt(float x, float y) {
        MoveTo(x, y);
        Press(true);
        Press(false);
    }
    // Clicks near the left end of a control (check boxes, buttons).
    void Click(const GLUI_Control& control) {
        ClickAt(static_cast<float>(control.x_abs + 5),
                static_cast<float>(control.y_abs) + 0.5f * static_cast<float>(control.h));
    }
    // Drags from the centre of a pad by (dx, dy) in several moves.
    void Drag(const GLUI_Control& control, float dx, float dy) {
        const float x = static_cast<float>(control.x_abs) + 40.0f;
        const float y = static_cast<float>(control.y_abs) + 40.0f;
        MoveTo(x, y);
        Press(true);
        for (int step = 1; step <= 4; ++step) {
            MoveTo(x + dx * static_cast<float>(step) / 4.0f,
                   y + dy * static_cast<float>(step) / 4.0f);
        }
        Press(false);
    }

    // The arrows sit at the spinner's right end, up above down.
    static float ArrowX(const GLUI_Control& spinner) {
        return static_cast<float>(spinner.x_abs + spinner.w) - 5.0f;
    }
    static float ArrowY(const GLUI_Control& spinner, int direction) {
        return static_cast<float>(spinner.y_abs) +
               static_cast<float>(spinner.h) * (direction > 0 ? 0.25f : 0.75f);
    }
    void ClickArrow(const GLUI_Control& spinner, int direction) {
        ClickAt(ArrowX(spinner), ArrowY(spinner, direction));
    }
    // Clicks into a spinner's field (which selects its text) and types.
    void Type(const GLUI_Control& spinner, const char* text) {
        ClickAt(static_cast<float>(spinner.x_abs + spinner.w) - 40.0f,
                static_cast<float>(spinner.y_abs) + 0.5f * static_cast<float>(spinner.h));
        ImGui::GetIO().AddInputCharactersUTF8(text);
        Frame();
    }
    void Key(ImGuiKey key) {
        ImGuiIO& io = ImGui::GetIO();
        io.KeysDown[io.KeyMap[key]] = true;
        Frame();
        io.KeysDown[io.KeyMap[key]] = false;
        Frame();
    }

    ImGuiContext* context = ImGui::CreateContext();
    GLUI panel;
};

TEST_F(PanelTest, CheckBoxWritesItsIntBeforeTheCallbackRunsAfterTheFrame) {
    GLUI_Rollout* rollout = panel.add_rollout("Options", true);
    GLUI_Checkbox* box =
        panel.add_checkbox_to_panel(rollout, "Use Method", &checkboxValue, 1, Record);
    Frame();
    Click(*box);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].id, 1);
    EXPECT_EQ(calls[0].checkbox, 1);
    EXPECT_FALSE(calls[0].duringFrame);
    EXPECT_EQ(checkboxValue, 1);
    Click(*box);
    EXPECT_EQ(checkboxValue, 0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].checkbox, 0);
}

TEST_F(PanelTest, ProgramChangesShowInTheControl) {
    GLUI_Checkbox* box = panel.add_checkbox_to_panel(nullptr, "Go Home", &checkboxValue, 1, Record);
    Frame();
    checkboxValue = 1;
    Frame();
    Click(*box);  // clears the box the program ticked
    EXPECT_EQ(checkboxValue, 0);
}

TEST_F(PanelTest, ButtonsCallWithTheirIdsAndTextsDoNothing) {
    panel.add_statictext("");
    GLUI_Button* start = panel.add_button("  Start Action!  ", 200, Record);
    panel.add_statictext("");
    GLUI_Button* quit = panel.add_button("Quit & Close Cards", 203, Record);
    Frame();
    Click(*quit);
    Click(*start);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].id, 203);
    EXPECT_EQ(calls[1].id, 200);
    EXPECT_GT(start->y_abs, 0);
    EXPECT_GT(quit->y_abs, start->y_abs);
}

TEST_F(PanelTest, SpinnersKeepTheirVariableInsideTheLimits) {
    numbers[0] = 20.0f;
    GLUI_Spinner* spinner = panel.add_spinner_to_panel(nullptr, "Frequency:", GLUI_SPINNER_FLOAT,
                                                       &numbers[0], 7, Record);
    spinner->set_float_limits(0.0f, 15.0f, GLUI_LIMIT_CLAMP);
    EXPECT_EQ(numbers[0], 15.0f);

    float duration = 1000.5f;
    panel.add_spinner_to_panel(nullptr, "Duration:", GLUI_SPINNER_FLOAT, &duration)
        ->set_int_limits(0, 3000, GLUI_LIMIT_CLAMP);
    EXPECT_EQ(duration, 1000.5f);  // whole-number limits, still a float

    numbers[0] = 14.99f;
    Frame();
    ClickArrow(*spinner, +1);
    EXPECT_EQ(numbers[0], 15.0f);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].id, 7);
    EXPECT_EQ(calls[0].first, 15.0f);
    ClickArrow(*spinner, +1);
    EXPECT_EQ(calls.size(), 1u);  // at the limit: no change, no callback
}

TEST_F(PanelTest, SpinnerArrowsStepRepeatWhenHeldAndFollowADrag) {
    numbers[0] = 1000.0f;
    GLUI_Spinner* spinner = panel.add_spinner_to_panel(nullptr, "Duration:", GLUI_SPINNER_FLOAT,
                                                       &numbers[0], -1, nullptr);
    spinner->set_int_limits(0, 3000, GLUI_LIMIT_CLAMP);
    Frame();
    // One click moves by an 800th of the range.
    ClickArrow(*spinner, +1);
    EXPECT_FLOAT_EQ(numbers[0], 1003.75f);
    ClickArrow(*spinner, -1);
    ClickArrow(*spinner, -1);
    EXPECT_FLOAT_EQ(numbers[0], 996.25f);

    // Held still: nothing more until the delay has passed, then steady
    // repeats with a growing step.
    numbers[0] = 1000.0f;
    MoveTo(ArrowX(*spinner), ArrowY(*spinner, +1));
    Press(true);
    EXPECT_FLOAT_EQ(numbers[0], 1003.75f);
    for (int frame = 0; frame < 20; ++frame) {  // a third of a second
        Frame();
    }
    EXPECT_FLOAT_EQ(numbers[0], 1003.75f);
    std::vector<float> seen;
    for (int frame = 0; frame < 60; ++frame) {
        Frame();
        if (seen.empty() || seen.back() != numbers[0]) {
            seen.push_back(numbers[0]);
        }
    }
    Press(false);
    ASSERT_GT(seen.size(), 20u);
    EXPECT_GT(seen[seen.size() - 1] - seen[seen.size() - 2], seen[1] - seen[0]);
    const float held = numbers[0];
    Frame();
    EXPECT_EQ(numbers[0], held);  // released: it stops

    // Dragged up from the down arrow: the value rises with the drag, each
    // pixel counting more the further it goes.
    numbers[0] = 1000.0f;
    const float x = ArrowX(*spinner);
    const float y = ArrowY(*spinner, -1);
    MoveTo(x, y);
    Press(true);
    EXPECT_FLOAT_EQ(numbers[0], 996.25f);
    MoveTo(x, y - 10.0f);
    const float near = numbers[0] - 996.25f;
    MoveTo(x, y - 60.0f);
    const float far = numbers[0] - 996.25f - near;
    EXPECT_GT(near, 10.0f * 3.75f * 0.99f);
    EXPECT_GT(far / 50.0f, 2.0f * near / 10.0f);
    MoveTo(x, y + 40.0f);  // and falls when dragged back down
    Press(false);
    EXPECT_LT(numbers[0], 996.25f + near + far);
    EXPECT_GE(numbers[0], 0.0f);
}

TEST_F(PanelTest, TypedValuesCountOnceTheFieldIsLeft) {
    numbers[0] = 0.5f;
    GLUI_Spinner* spinner = panel.add_spinner_to_panel(nullptr, "Frequency:", GLUI_SPINNER_FLOAT,
                                                       &numbers[0], -1, nullptr);
    spinner->set_float_limits(0.0f, 15.0f, GLUI_LIMIT_CLAMP);
    GLUI_Button* button = panel.add_button("Generate Trajectory", 204, Record);
    Frame();

    // Enter commits and clamps.
    Type(*spinner, "20");
    EXPECT_EQ(numbers[0], 0.5f);  // typing alone writes nothing
    Key(ImGuiKey_Enter);
    EXPECT_EQ(numbers[0], 15.0f);

    // Esc puts the value back.
    Type(*spinner, "3");
    Key(ImGuiKey_Escape);
    EXPECT_EQ(numbers[0], 15.0f);

    // A button's callback sees what was typed.
    Type(*spinner, "2.5");
    Click(*button);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, 2.5f);

    // Leaving the panel (as GLUI_Master does) commits; a later Esc changes nothing.
    Type(*spinner, "7");
    EXPECT_TRUE(panel.commit_fields());
    EXPECT_EQ(numbers[0], 7.0f);
    Frame();
    Frame();
    EXPECT_FALSE(ImGui::GetIO().WantTextInput);  // keys go to the program again
    Key(ImGuiKey_Escape);
    EXPECT_EQ(numbers[0], 7.0f);
    EXPECT_FALSE(panel.commit_fields());

    // Text that is no number leaves the value alone.
    Type(*spinner, "-");
    panel.commit_fields();
    EXPECT_EQ(numbers[0], 7.0f);
}

TEST_F(PanelTest, TranslationPadsBoundToTheSameNumbersMoveTogether) {
    GLUI_Translation* xy =
        panel.add_translation("Translate View XY", GLUI_TRANSLATION_XY, &numbers[0], 3, Record);
    xy->set_speed(0.5f);
    panel.add_column(false);
    GLUI_Translation* x =
        panel.add_translation("Translate View X", GLUI_TRANSLATION_X, &numbers[0]);
    x->set_speed(0.5f);
    panel.add_column(false);
    GLUI_Translation* z =
        panel.add_translation("Translate View Z", GLUI_TRANSLATION_Z, &numbers[2]);
    z->set_speed(0.5f);
    Frame();
    EXPECT_GT(x->x_abs, xy->x_abs + xy->w);  // columns side by side

    Drag(*xy, 20.0f, -8.0f);
    EXPECT_FLOAT_EQ(numbers[0], 10.0f);
    EXPECT_FLOAT_EQ(numbers[1], 4.0f);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().id, 3);
    Drag(*x, -12.0f, 30.0f);
    EXPECT_FLOAT_EQ(numbers[0], 4.0f);
    EXPECT_FLOAT_EQ(numbers[1], 4.0f);
    Drag(*z, 5.0f, -10.0f);  // up moves z forward
    EXPECT_FLOAT_EQ(numbers[2], 5.0f);
}

TEST_F(PanelTest, RotationTurnsTheMatrixAndSpinsAfterAThrow) {
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    GLUI_Rotation* ball = panel.add_rotation("Rotate Robot View", matrix, 5, Record);
    Frame();
    Drag(*ball, 20.0f, 0.0f);
    // A horizontal drag turns about the vertical axis: y stays put.
    EXPECT_NEAR(matrix[5], 1.0f, 1e-5f);
    EXPECT_LT(matrix[0], 0.99f);
    EXPECT_GT(matrix[8], 0.0f);  // the z axis swings towards +x
    EXPECT_FALSE(ball->spinning());
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().id, 5);

    ball->set_spin(10.0f);
    Drag(*ball, 20.0f, 0.0f);
    ASSERT_TRUE(ball->spinning());
    const float before = matrix[0];
    calls.clear();
    int steps = 0;
    while (ball->spinning() && steps < 1000) {
        ball->spin_step();
        ++steps;
    }
    panel.run_callbacks();
    EXPECT_FALSE(ball->spinning());  // it slows down and stops
    EXPECT_GT(steps, 10);
    EXPECT_EQ(calls.size(), static_cast<size_t>(steps));
    EXPECT_NE(matrix[0], before);
    // Still a rotation.
    EXPECT_NEAR(matrix[0] * matrix[0] + matrix[1] * matrix[1] + matrix[2] * matrix[2], 1.0f, 1e-4f);

    // A double-click brings the identity back and stops a spin.
    Drag(*ball, 20.0f, 0.0f);
    ASSERT_TRUE(ball->spinning());
    calls.clear();
    const float x = static_cast<float>(ball->x_abs) + 40.0f;
    const float y = static_cast<float>(ball->y_abs) + 40.0f;
    MoveTo(x, y);
    for (int frame = 0; frame < 30; ++frame) {  // longer than a double-click
        Frame();
    }
    ClickAt(x, y);
    ClickAt(x, y);
    EXPECT_FALSE(ball->spinning());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(matrix[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
    }
    EXPECT_FALSE(calls.empty());
}

TEST(Output, StandardOutputIsLineBufferedBeforeMainRuns) {
    // Messages of the card layers and the banner then reach a log file or
    // a pipe when they are printed.
    EXPECT_NE(__flbf(stdout), 0);
}

TEST(Arcball, TurnsAreRotationsInViewSpace) {
    const arcball::ViewVector centre = arcball::BallPoint(40.0f, 40.0f, 80.0f);
    EXPECT_FLOAT_EQ(centre.z, 1.0f);
    const arcball::ViewVector rim = arcball::BallPoint(200.0f, 40.0f, 80.0f);
    EXPECT_FLOAT_EQ(rim.x, 1.0f);
    EXPECT_FLOAT_EQ(rim.z, 0.0f);

    const arcball::Turn quarter = arcball::TurnBetween({1, 0, 0}, {0, 1, 0});
    EXPECT_NEAR(quarter.angle, 3.14159265f / 2.0f, 1e-6f);
    EXPECT_FLOAT_EQ(quarter.axis.z, 1.0f);
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1};
    arcball::ApplyTurn(quarter, matrix);
    EXPECT_NEAR(matrix[1], 1.0f, 1e-6f);    // x axis now along y
    EXPECT_NEAR(matrix[4], -1.0f, 1e-6f);   // y axis now along -x
    EXPECT_NEAR(matrix[12], -8.0f, 1e-5f);  // the whole matrix turns
    EXPECT_EQ(arcball::TurnBetween({0, 0, 1}, {0, 0, 1}).angle, 0.0f);
}

}  // namespace
