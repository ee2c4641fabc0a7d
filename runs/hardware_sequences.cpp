// Homing, manual commands and card reset: short sequences of card calls in a
// fixed order, with fixed thresholds and waits.
#include <algorithm>
#include <cstdio>

#include "arm/arm.h"
#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "platform/clock.h"
#include "platform/motion_library.h"
#include "runs/runs.h"

namespace {

constexpr short kBoard = 1;

// Encoder counts the homing backs off by after each switch.
constexpr std::int32_t kCarriageBackOff = 1000;
constexpr std::int32_t kShoulderBackOff = -10574;
constexpr std::int32_t kElbowBackOff = -27002;
// Settling waits, in clock ticks.
constexpr long kSettleTicks = 500;

// Indices into LimitStatus.
constexpr int kCarriageSwitch0 = 0;
constexpr int kShoulderSwitch1 = 3;
constexpr int kElbowSwitch0 = 4;

// Polls the run-time clock until `ticks` have passed.
void BusyWait(long ticks) {
    const long start = platform::clock();
    while (platform::clock() - start < ticks) {
    }
}

void ClearCounter(short channel) {
    EP_ClearENCCounter(channel, kBoard);
}

// Each polling loop below returns true when it reached its mark and false
// when it found the emergency stop active.

// Carriage onto switch 0 and shoulder onto switch 1, together.
bool DriveCarriageAndShoulderToSwitches() {
    bool carriageDone = false;
    bool shoulderDone = false;
    while (CheckEmergencyStop() == 1) {
        ReadLimitSwitches();
        if (LimitStatus[kCarriageSwitch0] == 1) {
            MotorAxes[0].SetVoltage(0.0f);
            ClearCounter(0);
            carriageDone = true;
        }
        if (LimitStatus[kShoulderSwitch1] == 1) {
            MotorAxes[1].SetVoltage(0.0f);
            ClearCounter(1);
            shoulderDone = true;
        }
        if (carriageDone && shoulderDone) {
            return true;
        }
    }
    return false;
}

// Carriage and shoulder back off their switches by fixed counts. The
// shoulder is left holding -0.01 V against gravity.
bool BackCarriageAndShoulderOff() {
    bool carriageDone = false;
    bool shoulderDone = false;
    while (CheckEmergencyStop() == 1) {
        ReadEncoderCounts();
        if (EncoderCounts[0] >= kCarriageBackOff) {
            MotorAxes[0].SetVoltage(0.0f);
            ClearCounter(0);
            carriageDone = true;
        }
        if (EncoderCounts[1] <= kShoulderBackOff) {
            MotorAxes[1].SetVoltage(-0.01f);
            ClearCounter(1);
            shoulderDone = true;
        }
        if (carriageDone && shoulderDone) {
            return true;
        }
    }
    return false;
}

bool DriveElbowToSwitch() {
    while (CheckEmergencyStop() == 1) {
        ReadLimitSwitches();
        if (LimitStatus[kElbowSwitch0] == 1) {
            MotorAxes[2].SetVoltage(0.0f);
            ClearCounter(2);
            return true;
        }
    }
    return false;
}

// The elbow keeps its command when it reaches the offset; the caller stops it.
bool BackElbowOff() {
    while (CheckEmergencyStop() == 1) {
        ReadEncoderCounts();
        if (EncoderCounts[2] <= kElbowBackOff) {
            ClearCounter(2);
            return true;
        }
    }
    return false;
}

// The stop ended a polling loop: the servos off as after any stop, and the
// counters left alone.
runs::Homing StopHoming() {
    SwitchServosOff();
    std::printf("%s\n", runs::kHomingStoppedText);
    return runs::Homing::kEmergencyStop;
}

}  // namespace

void SetValvesToReference() {
    std::copy(runs::kMuscleReferenceVolts, runs::kMuscleReferenceVolts + arm::kMuscleCount,
              ValveVoltages);
    WriteValveVoltages(ValveVoltages);
}

void HomeMuscles() {
    SetValvesToReference();
    Sleep(2000);
    ClearCounter(3);
    ClearCounter(4);
}

runs::Homing GoHome() {
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].ServoOn();
    }
    MotorAxes[0].SetVoltage(-0.3f);
    MotorAxes[1].SetVoltage(0.7f);
    MotorAxes[2].SetVoltage(0.0f);
    if (!DriveCarriageAndShoulderToSwitches()) {
        return StopHoming();
    }

    MotorAxes[0].SetVoltage(0.2f);
    MotorAxes[1].SetVoltage(-0.5f);
    if (!BackCarriageAndShoulderOff()) {
        return StopHoming();
    }
    BusyWait(kSettleTicks);
    ClearCounter(0);
    ClearCounter(1);

    MotorAxes[0].SetVoltage(0.0f);
    MotorAxes[1].SetVoltage(0.0f);
    MotorAxes[2].SetVoltage(0.7f);
    if (!DriveElbowToSwitch()) {
        return StopHoming();
    }

    MotorAxes[2].SetVoltage(-0.55f);
    if (!BackElbowOff()) {
        return StopHoming();
    }
    BusyWait(kSettleTicks);  // the elbow is still driven meanwhile
    MotorAxes[2].SetVoltage(0.0f);
    Sleep(100);

    for (short channel = 0; channel < arm::kMotorCount; ++channel) {
        ClearCounter(channel);
    }
    EP_EnableLimitCheck(1, kBoard);
    ReadEncoderCounts();
    return runs::Homing::kAtHome;
}

void ManualMotorCommand(int motor1, int motor2, int motor3, float volts, float durationMs) {
    const int flags[arm::kMotorCount] = {motor1, motor2, motor3};
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        if (flags[axis] == 1) {
            MotorAxes[axis].ServoOn();
        }
    }
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].SetVoltage(volts);
    }
    // Truncated toward zero; a negative or undefined duration waits nothing.
    BusyWait(durationMs > 0.0f ? static_cast<long>(std::min(durationMs, 1e9f)) : 0);
    SwitchServosOff();
}

void ManualPressureCommand(int* muscle1, int* muscle2, int* muscle3, int* muscle4, float* volts) {
    const int* flags[arm::kMuscleCount] = {muscle1, muscle2, muscle3, muscle4};
    float valves[arm::kMuscleCount] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int muscle = 0; muscle < arm::kMuscleCount; ++muscle) {
        if (*flags[muscle] != 0) {
            valves[muscle] = *volts;
        }
    }
    WriteValveVoltages(valves);
}

namespace runs {

std::optional<RunEnd> CheckStops() {
    if (CheckEmergencyStop() != 1) {
        return RunEnd::kEmergencyStop;
    }
    if (CheckLimitSwitches() != 1) {
        return RunEnd::kLimitSwitch;
    }
    return std::nullopt;
}

}  // namespace runs

void SwitchServosOff() {
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].ServoOff();
    }
}

void StopMotorsAndValves() {
    SwitchServosOff();
    std::fill(ValveVoltages, ValveVoltages + arm::kMuscleCount, 0.0f);
    WriteValveVoltages(ValveVoltages);
}

void CloseCards() {
    CloseMotionCard();
    ClosePressureInput();
    CloseValveOutput();
}

void ResetCards() {
    CloseCards();
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
}
