// The operator console's shell: main window, panels, control callback and
// the main window's callbacks.
//
// Index
//   [SECTION] Console state: the panels' live variables and the windows
//   [SECTION] Main window
//   [SECTION] Control panel
//   [SECTION] View panel
//   [SECTION] Control callback: the actions
//   [SECTION] Main window callbacks
#include "console/console.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "console/console_texts.h"
#include "console/scene.h"
#include "console/test_probe.h"
#include "glui/glui.h"
#include "platform/clock.h"
#include "runs/run_record.h"
#include "runs/runs.h"
#include "trajectory/trajectory.h"

namespace {

//-----------------------------------------------------------------------------
// [SECTION] Console state: the panels' live variables and the windows
//-----------------------------------------------------------------------------
// The panels show these and write them on every edit; the actions read them
// only when a button is pressed. Check boxes hold 0 (clear) or 1 (ticked).

float waveFrequency = 0.5f;    // Hz
float waveAmplitude = 100.0f;  // mm
int useSineWave = 0;
int useRampWave = 0;
int useStepWave = 0;
int useOnlyNeural = 0;
int useHybrid = 0;
int actionUseMethod = 0;
int actionGoHome = 0;
int actionManualMovement = 0;
float motorVoltage = 0.2f;      // V
float motorDuration = 1000.0f;  // ms
int commandMotor1 = 0;
int commandMotor2 = 0;
int commandMotor3 = 0;
float muscleVoltage = 4.0f;  // V
int commandMuscle1 = 0;
int commandMuscle2 = 0;
int commandMuscle3 = 0;
int commandMuscle4 = 0;

int mainWindow = 0;
GLUI* controlPanel = nullptr;
GLUI* viewPanel = nullptr;

//-----------------------------------------------------------------------------
// [SECTION] Main window
//-----------------------------------------------------------------------------

void BuildMainWindow() {
    // GLUT is started with the program name alone: the console takes no
    // notice of its command line.
    int glutArgc = 1;
    char programName[] = "tendon";
    char* glutArgv[] = {programName, nullptr};
    glutInit(&glutArgc, glutArgv);

    mainWindow = OpenViewWindow(texts::kWindowTitle);

    // The panels see the window's events before the console does.
    glutDisplayFunc(DisplayView);
    GLUI_Master.set_glutReshapeFunc(ReshapeView);
    GLUI_Master.set_glutKeyboardFunc(KeyboardInput);
    GLUI_Master.set_glutSpecialFunc(nullptr);
    GLUI_Master.set_glutMouseFunc(MouseInput);
    glutMotionFunc(MouseMotion);

    std::fputs(texts::kBanner, stdout);
    std::printf(texts::kGluiVersionFormat, GLUI_Master.get_version());
}

//-----------------------------------------------------------------------------
// [SECTION] Control panel
//-----------------------------------------------------------------------------
// The panel's entries, top to bottom. Spinners and check boxes go into the
// rollout above them; empty texts and buttons sit at the panel's top level.

enum class EntryKind { kRollout, kSpinner, kCheckbox, kEmptyText, kButton };
// Which limit call a spinner gets; both clamp, "int" limits are whole
// numbers but the spinner still takes any float between them.
enum class LimitCall { kNone, kFloat, kInt };

struct PanelEntry {
    EntryKind kind;
    const char* label;
    float* number = nullptr;  // a spinner's live variable
    int* flag = nullptr;      // a check box's live variable
    LimitCall limits = LimitCall::kNone;
    float low = 0.0f;
    float high = 0.0f;
    int id = -1;  // a button's id
};

PanelEntry Rollout(const char* label) {
    return {EntryKind::kRollout, label};
}
PanelEntry Spinner(const char* label, float* number, LimitCall limits, float low, float high) {
    return {EntryKind::kSpinner, label, number, nullptr, limits, low, high};
}
PanelEntry Checkbox(const char* label, int* flag) {
    return {EntryKind::kCheckbox, label, nullptr, flag};
}
PanelEntry EmptyText() {
    return {EntryKind::kEmptyText, ""};
}
PanelEntry Button(const char* label, int id) {
    return {EntryKind::kButton, label, nullptr, nullptr, LimitCall::kNone, 0.0f, 0.0f, id};
}

const PanelEntry kControlPanelEntries[] = {
    Rollout(texts::kTrajectory),
    Spinner(texts::kFrequency, &waveFrequency, LimitCall::kFloat, 0.0f, 15.0f),
    Spinner(texts::kAmplitude, &waveAmplitude, LimitCall::kInt, -200.0f, 200.0f),
    Checkbox(texts::kSineWave, &useSineWave),
    Checkbox(texts::kRampWave, &useRampWave),
    Checkbox(texts::kStepWave, &useStepWave),
    Rollout(texts::kMethods),
    Checkbox(texts::kOnlyNeural, &useOnlyNeural),
    Checkbox(texts::kHybrid, &useHybrid),
    Rollout(texts::kSetAction),
    Checkbox(texts::kUseMethod, &actionUseMethod),
    Checkbox(texts::kGoHome, &actionGoHome),
    Checkbox(texts::kManualMovement, &actionManualMovement),
    Rollout(texts::kManualMovement),
    Spinner(texts::kVoltage, &motorVoltage, LimitCall::kFloat, -0.5f, 0.5f),
    Spinner(texts::kDuration, &motorDuration, LimitCall::kInt, 0.0f, 3000.0f),
    Checkbox(texts::kCommandMotor[0], &commandMotor1),
    Checkbox(texts::kCommandMotor[1], &commandMotor2),
    Checkbox(texts::kCommandMotor[2], &commandMotor3),
    Rollout(texts::kManualPressure),
    Spinner(texts::kVoltage, &muscleVoltage, LimitCall::kFloat, 0.0f, 8.0f),
    Checkbox(texts::kCommandMuscle[0], &commandMuscle1),
    Checkbox(texts::kCommandMuscle[1], &commandMuscle2),
    Checkbox(texts::kCommandMuscle[2], &commandMuscle3),
    Checkbox(texts::kCommandMuscle[3], &commandMuscle4),
    EmptyText(),
    Button(texts::kGenerateTrajectory, ID_GENERATE_TRAJECTORY),
    EmptyText(),
    Button(texts::kStartAction, ID_START_ACTION),
    EmptyText(),
    Button(texts::kResetCards, ID_RESET_CARDS),
    EmptyText(),
    EmptyText(),
    EmptyText(),
    EmptyText(),
    EmptyText(),
    Button(texts::kQuit, ID_QUIT),
};
static_assert(std::size(kControlPanelEntries) == 37);

GLUI_Control* AddEntry(GLUI_Rollout*& rollout, const PanelEntry& entry) {
    switch (entry.kind) {
        case EntryKind::kRollout:
            rollout = controlPanel->add_rollout(entry.label, true);
            return rollout;
        case EntryKind::kSpinner: {
            GLUI_Spinner* spinner = controlPanel->add_spinner_to_panel(
                rollout, entry.label, GLUI_SPINNER_FLOAT, entry.number, -1, nullptr);
            if (entry.limits == LimitCall::kFloat) {
                spinner->set_float_limits(entry.low, entry.high, GLUI_LIMIT_CLAMP);
            } else {
                spinner->set_int_limits(static_cast<int>(entry.low), static_cast<int>(entry.high),
                                        GLUI_LIMIT_CLAMP);
            }
            spinner->set_alignment(GLUI_ALIGN_LEFT);
            return spinner;
        }
        case EntryKind::kCheckbox:
            return controlPanel->add_checkbox_to_panel(rollout, entry.label, entry.flag, ID_OPTION,
                                                       ControlCallback);
        case EntryKind::kEmptyText:
            return controlPanel->add_statictext(entry.label);
        case EntryKind::kButton:
            return controlPanel->add_button(entry.label, entry.id, ControlCallback);
    }
    return nullptr;
}

void BuildControlPanel() {
    controlPanel = GLUI_Master.create_glui_subwindow(mainWindow, GLUI_SUBWINDOW_RIGHT);
    GLUI_Rollout* rollout = nullptr;
    for (const PanelEntry& entry : kControlPanelEntries) {
        ProbeControl(controlPanel, AddEntry(rollout, entry), entry.label);
    }
    controlPanel->set_main_gfx_window(mainWindow);
}

//-----------------------------------------------------------------------------
// [SECTION] View panel
//-----------------------------------------------------------------------------
// The rotation turns the view; the four translation controls share
// viewTranslation, so the XY pad and the X and Y controls move each other.

constexpr float kRotationSpin = 10.0f;
constexpr float kTranslationSpeed = 0.5f;

void AddTranslation(const char* label, int type, float* values) {
    viewPanel->add_column(false);
    GLUI_Translation* translation = viewPanel->add_translation(label, type, values);
    translation->set_speed(kTranslationSpeed);
    ProbeControl(viewPanel, translation, label);
}

void BuildViewPanel() {
    viewPanel = GLUI_Master.create_glui_subwindow(mainWindow, GLUI_SUBWINDOW_BOTTOM);
    viewPanel->set_main_gfx_window(mainWindow);
    GLUI_Rotation* rotation = viewPanel->add_rotation(texts::kRotateView, viewRotation);
    rotation->set_spin(kRotationSpin);
    ProbeControl(viewPanel, rotation, texts::kRotateView);
    AddTranslation(texts::kTranslateXY, GLUI_TRANSLATION_XY, &viewTranslation[0]);
    AddTranslation(texts::kTranslateX, GLUI_TRANSLATION_X, &viewTranslation[0]);
    AddTranslation(texts::kTranslateY, GLUI_TRANSLATION_Y, &viewTranslation[1]);
    AddTranslation(texts::kTranslateZ, GLUI_TRANSLATION_Z, &viewTranslation[2]);
}

//-----------------------------------------------------------------------------
// [SECTION] Control callback: the actions
//-----------------------------------------------------------------------------
// An action runs to its end inside the callback: the main loop is blocked,
// the panels do not react, and only the direct redraws below (and those of
// a control run, once per sample) update the view. The status always walks
// its fixed sequence and ends at "Ready..."; each action prints its own
// trouble, and one that did not simply complete (homing or a run stopped, a
// run not started or late, trajectory files not written) leaves its outcome
// on the view's message line until the next action starts. Only the
// emergency stop interrupts an action.

// The outcome of a trajectory generation whose files were not all written;
// the generator has named the file.
constexpr const char* kTrajectoryNotWrittenText = "Trajectory not written completely";

constexpr unsigned long kPauseBeforeActionMs = 500;
constexpr unsigned long kPauseAfterActionMs = 2000;

// The panel's values at the moment of a press.
struct PanelValues {
    int sine, ramp, step;
    float amplitude, frequency;
    bool goHome, manualMovement, useMethod, onlyNeural, hybrid;
    int motor1, motor2, motor3;
    float motorVolts, motorDurationMs;
    int muscle1, muscle2, muscle3, muscle4;
    float muscleVolts;
};

PanelValues ReadPanel() {
    return {.sine = useSineWave,
            .ramp = useRampWave,
            .step = useStepWave,
            .amplitude = waveAmplitude,
            .frequency = waveFrequency,
            .goHome = actionGoHome != 0,
            .manualMovement = actionManualMovement != 0,
            .useMethod = actionUseMethod != 0,
            .onlyNeural = useOnlyNeural != 0,
            .hybrid = useHybrid != 0,
            .motor1 = commandMotor1,
            .motor2 = commandMotor2,
            .motor3 = commandMotor3,
            .motorVolts = motorVoltage,
            .motorDurationMs = motorDuration,
            .muscle1 = commandMuscle1,
            .muscle2 = commandMuscle2,
            .muscle3 = commandMuscle3,
            .muscle4 = commandMuscle4,
            .muscleVolts = muscleVoltage};
}

// Sets the status line and redraws at once: the action that follows blocks
// the loop, so a posted redisplay would come too late.
void ShowStatus(RunStatusIndex status) {
    RunStatus = status;
    DisplayView();
    ProbeStatus(status);
}

// The previous action's outcome goes as this one starts.
void StartAction(RunStatusIndex status) {
    SetActionOutcome("");
    ShowStatus(status);
    Sleep(kPauseBeforeActionMs);
}

void FinishAction() {
    ShowStatus(ActionFinished);
    Sleep(kPauseAfterActionMs);
    ShowStatus(Ready);
}

// A run's redraw, once per sample.
void RedrawSample() {
    DisplayView();
    ProbeSample();
}

void GenerateTrajectoryAction(PanelValues panel) {
    StartAction(GeneratingTrajectory);
    if (!GenerateTrajectory(&panel.sine, &panel.ramp, &panel.step, &panel.amplitude,
                            &panel.frequency)) {
        std::printf("%s\n", kTrajectoryNotWrittenText);
        SetActionOutcome(kTrajectoryNotWrittenText);
    }
    FinishAction();
}

void GoHomeAction() {
    StartAction(GoingHome);
    HomeMuscles();
    if (GoHome() == runs::Homing::kEmergencyStop) {
        SetActionOutcome(runs::kHomingStoppedText);
    }
    FinishAction();
}

void ManualMovementAction(PanelValues panel) {
    StartAction(ManualMode);
    ManualMotorCommand(panel.motor1, panel.motor2, panel.motor3, panel.motorVolts,
                       panel.motorDurationMs);
    ManualPressureCommand(&panel.muscle1, &panel.muscle2, &panel.muscle3, &panel.muscle4,
                          &panel.muscleVolts);
    FinishAction();
}

// Homes the arm (motors first, then the muscles), then runs one control run
// that redraws the view once per sample. A stopped homing is the outcome
// that matters most: the run that follows works from counters that were not
// zeroed. The run is kept in the lab notebook of the working directory: its
// inputs as the run starts, its logs and figures once they are closed.
template <typename Run>
void MethodAction(RunStatusIndex status, const char* method, Run run) {
    StartAction(GoingHome);
    const runs::Homing homing = GoHome();
    HomeMuscles();
    ShowStatus(ActionFinished);
    ShowStatus(status);
    Sleep(kPauseBeforeActionMs);
    notebook::Recorder recorder(".", ".", std::string("tendon ") + method, {});
    runs::RecordRunInputs(recorder);
    const runs::RunResult result = run();
    const runs::OutcomeLine outcome = runs::DescribeOutcome(result);
    for (const char* log : runs::kRunLogFiles) {
        recorder.Output(log);
    }
    for (const notebook::Figure& figure : runs::RunFigures(result)) {
        recorder.Record(figure.name, figure.value);
    }
    recorder.Finish(runs::NotebookOutcome(result.end, result.logsWritten),
                    outcome.text[0] != '\0' ? outcome.text : "completed");
    SetActionOutcome(homing == runs::Homing::kEmergencyStop ? runs::kHomingStoppedText
                                                            : outcome.text);
    FinishAction();
}

}  // namespace

// The tests are made one after the other, each on its own: one press of
// "  Start Action!  " runs every ticked action in this order. A check box
// (ID_OPTION) matches none of them.
void ControlCallback(int id) {
    const PanelValues panel = ReadPanel();
    const bool start = id == ID_START_ACTION;
    if (id == ID_GENERATE_TRAJECTORY) {
        GenerateTrajectoryAction(panel);
    }
    if (id == ID_QUIT) {
        CloseCards();
        std::exit(0);
    }
    if (start && panel.goHome) {
        GoHomeAction();
    }
    if (id == ID_RESET_CARDS) {
        ResetCards();  // no status change, no redraw
    }
    if (start && panel.manualMovement) {
        ManualMovementAction(panel);
    }
    if (start && panel.useMethod && panel.onlyNeural) {
        MethodAction(OnlyNeural, "neural", [] { return RunNeuralControl(RedrawSample); });
    }
    if (start && panel.useMethod && panel.hybrid) {
        MethodAction(HybridControl, "hybrid", [] { return RunHybridControl(RedrawSample); });
    }
}

void BuildConsoleWindows() {
    BuildMainWindow();
    BuildControlPanel();
    BuildViewPanel();
    // Creating the panels left the main window current.
    BuildLinkLists();
}

void BuildConsole() {
    BuildConsoleWindows();
    ProbePanelsBuilt();
    glutMainLoop();
    std::exit(0);  // freeglut's loop returns only when told to
}

//-----------------------------------------------------------------------------
// [SECTION] Main window callbacks
//-----------------------------------------------------------------------------

// The view takes what the panels leave free. A view port of height 0 (a
// minimised window) keeps the previous aspect.
void ReshapeView(int, int) {
    int x = 0, y = 0, w = 0, h = 0;
    GLUI_Master.get_viewport_area(&x, &y, &w, &h);
    glViewport(x, y, w, h);
    if (h != 0) {
        viewAspect = static_cast<float>(w) / static_cast<float>(h);
    }
    glutPostRedisplay();
}

// Esc and q end the console at once and leave the cards as they are. During
// an action the key waits in the queue and ends the console when the action
// has returned.
void KeyboardInput(unsigned char key, int, int) {
    constexpr unsigned char kEscape = 27;
    if (key == kEscape || key == 'q') {
        std::exit(0);
    }
    glutPostRedisplay();
}

// Mouse buttons in the view have no effect; the panels handle their own.
void MouseInput(int, int, int, int) {}

void MouseMotion(int, int) {
    glutPostRedisplay();
}
