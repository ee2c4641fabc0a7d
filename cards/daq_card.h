// The data-acquisition card: twelve analog inputs (channels 0 to 3 are the
// pressure sensors of muscles 1 to 4) and four synchronously written valve
// outputs.
#pragma once

#include "arm/arm.h"

// Valve commands of muscles 1 to 4, initially 4.0 V each.
extern float ValveVoltages[arm::kMuscleCount];

void OpenPressureInput();
// Reads all twelve inputs and converts their voltages to pressures.
void ReadPressures(float out[arm::kPressureChannelCount]);
void ClosePressureInput();

void OpenValveOutput();
// Raises commands at or below 0 to 0 in the caller's array, refuses the set
// with a message if any command exceeds 8.0, else latches all four; then
// puts the latched values out together. True when the set was latched.
bool WriteValveVoltages(float volts[arm::kMuscleCount]);
void CloseValveOutput();
