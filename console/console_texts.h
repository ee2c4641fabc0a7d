// The console's fixed texts: the start-up banner and the labels of the two
// panels. Operators and their notes know the controls by these words, so
// they are kept byte for byte, blanks included ("  Start Action!  ").
#pragma once

#include "arm/arm.h"

namespace texts {

inline constexpr const char* kWindowTitle = "Tendon";
inline constexpr const char* kBanner =
    "Tendon operator console\n"
    "Arm with three servo motors and a joint of four pneumatic muscles\n"
    "Trajectories, homing, manual commands and real-time control runs\n"
    "Neural-only and neuro-fuzzy hybrid control of the muscle joint\n";
inline constexpr const char* kGluiVersionFormat = "Using GLUI version: %3.2f\n";

// Control panel, in the order of the panel.
inline constexpr const char* kTrajectory = "Trajectory";
inline constexpr const char* kFrequency = "Frequency:";
inline constexpr const char* kAmplitude = "Amplitude:";
inline constexpr const char* kSineWave = "The Sine Wave";
inline constexpr const char* kRampWave = "The Ramp Wave";
inline constexpr const char* kStepWave = "The Step Wave";
inline constexpr const char* kMethods = "Methods";
inline constexpr const char* kOnlyNeural = "Only-Neural Networks";
inline constexpr const char* kHybrid = "Neural-Fuzzy Hybrid";
inline constexpr const char* kSetAction = "Set Action";
inline constexpr const char* kUseMethod = "Use Method";
inline constexpr const char* kGoHome = "Go Home";
inline constexpr const char* kManualMovement = "Manual Movement";  // rollout and check box
inline constexpr const char* kVoltage = "Voltage:";                // both voltage spinners
inline constexpr const char* kDuration = "Duration:";
inline constexpr const char* kCommandMotor[arm::kMotorCount] = {
    "Command Motor 1", "Command Motor 2", "Command Motor 3"};
inline constexpr const char* kManualPressure = "Manual Pressure";
inline constexpr const char* kCommandMuscle[arm::kMuscleCount] = {
    "Command Rubbertuator 1", "Command Rubbertuator 2", "Command Rubbertuator 3",
    "Command Rubbertuator 4"};
inline constexpr const char* kGenerateTrajectory = "Generate Trajectory";
inline constexpr const char* kStartAction = "  Start Action!  ";
inline constexpr const char* kResetCards = "  Reset Cards  ";
inline constexpr const char* kQuit = "Quit & Close Cards";

// View panel.
inline constexpr const char* kRotateView = "Rotate Robot View";
inline constexpr const char* kTranslateXY = "Translate View XY";
inline constexpr const char* kTranslateX = "Translate View X";
inline constexpr const char* kTranslateY = "Translate View Y";
inline constexpr const char* kTranslateZ = "Translate View Z";

}  // namespace texts
