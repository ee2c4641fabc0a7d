// The console's 3D view: the arm's mesh, the three link cylinders posed by
// the measured joint angles, the text overlay with status and sensor
// readouts, and the orientation cross. Every frame reads the cards anew.
#pragma once

#include "arm/arm.h"
#include "loader3ds/model_loader.h"

// Status line of the view; only the control callback writes RunStatus.
enum RunStatusIndex {
    Ready = 0,
    GoingHome = 1,
    OnlyNeural = 2,
    HybridControl = 3,
    ActionFinished = 4,
    GeneratingTrajectory = 5,
    ManualMode = 6,
};
extern int RunStatus;
// The status text of a RunStatus value ("" outside 0 to 6).
const char* RunStatusText(int status);

// The message line under the status: what the operator must know and can
// see nowhere else. While the emergency stop is pressed (read with the
// readouts, every frame) it says so; otherwise it shows the outcome of the
// last action that did not simply complete, until the next action clears it.
inline constexpr const char* kEmergencyStopPressedText = "Emergency stop pressed";
// Keeps a copy of `text` (cut to 159 characters) as the action's outcome;
// "" clears it. Allocates nothing.
void SetActionOutcome(const char* text);
// The text the message line shows, as of the last frame's reading of the stop.
const char* MessageLineText();

extern Model armModel;
// Degrees: carriage motor, shoulder, elbow and the muscle-driven joint's
// two values; filled by each frame's readout.
extern float jointAngles[arm::kEncoderChannelCount];
// Pressures of the twelve inputs; 0 to 3 are muscles 1 to 4.
extern float musclePressures[arm::kPressureChannelCount];
// First of the three link-cylinder display lists (heights 50, 30, 10).
extern unsigned int linkLists;

// View state set by the panels and the reshape callback.
extern float viewRotation[16];  // column-major
extern float viewTranslation[3];
extern float viewAspect;

// Reads "Resources/Drawing1.3ds" into armModel; needs no GL context.
void LoadArmModel();
// The main window's size; it opens at the screen's origin.
inline constexpr int kViewWindowWidth = 1024;
inline constexpr int kViewWindowHeight = 720;
// With GLUT initialised: reads the arm's mesh (LoadArmModel), opens the
// double-buffered main window with a depth buffer and sets up its lights.
// Returns the window's id; its callbacks are the caller's.
int OpenViewWindow(const char* title);
// Compiles the link cylinders; needs the main window's context current.
void BuildLinkLists();
// One frame into the current window, buffers swapped.
void DisplayView();

void DrawScene();
void DrawArm();
void DrawReadouts();
void DrawAxes();
