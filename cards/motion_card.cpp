#include "cards/motion_card.h"

#include <cmath>
#include <cstdio>

#include "platform/fixed_messages.h"

namespace {

constexpr short kBoard = 1;
constexpr double kVoltageLimit = 5.0;

// Zero-offset corrections of the motor outputs.
constexpr float kCarriageOffset = 0.0082f;
constexpr float kShoulderOffset = 0.0091f;
constexpr float kElbowOffset = 0.0052f;

void AbortAndStopServos() {
    EP_AbortMotion(0);
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].ServoOff();
    }
}

void ReadRawCounts() {
    for (short channel = 0; channel < arm::kEncoderChannelCount; ++channel) {
        EP_GetENCCounter(&EncoderCounts[channel], channel, kBoard);
    }
}

}  // namespace

MotorAxis MotorAxes[arm::kEncoderChannelCount] = {MotorAxis(0), MotorAxis(1), MotorAxis(2),
                                                  MotorAxis(3), MotorAxis(4)};
std::int32_t EncoderCounts[arm::kEncoderChannelCount] = {};
std::int16_t LimitStatus[2 * arm::kMotorCount] = {};
std::int16_t EmergencyStopStatus = 0;

MotorAxis::MotorAxis(int axis)
    : axis_(axis), machineParameters_{}, homeConfiguration_{}, encoderConfiguration_{} {
    machineParameters_.word0 = 1;
    machineParameters_.word2 = 300;
    machineParameters_.long4 = 4096;
    machineParameters_.real8 = 12.0;
    machineParameters_.real16 = 1.0;
    machineParameters_.real24 = 50000.0;
    machineParameters_.real32 = -50000.0;
    machineParameters_.real40 = 5.0;
    machineParameters_.real48 = 5.0;
    machineParameters_.word56 = 1;
    machineParameters_.word58 = 100;
    machineParameters_.word60 = 0;
    machineParameters_.word64 = 1;
    machineParameters_.word66 = 1;

    homeConfiguration_.word0 = 13;
    homeConfiguration_.word2 = 1;
    homeConfiguration_.word4 = 1;
    homeConfiguration_.long8 = 0;
    homeConfiguration_.real16 = 300.0;
    homeConfiguration_.real24 = 0.3;
    homeConfiguration_.real32 = 0.2;
    homeConfiguration_.real40 = 5.0;

    encoderConfiguration_ = {{0, 0, 0, 0, 0, 1}};

    const auto axisNumber = static_cast<short>(axis_);
    EP_SetMacParam(&machineParameters_, axisNumber, kBoard);
    EP_SetHomeConfig(&homeConfiguration_, axisNumber, kBoard);
    EP_SetEncoderConfig(&encoderConfiguration_, axisNumber, kBoard);
}

void MotorAxis::ServoOn() {
    EP_SetServoOn(1, static_cast<short>(axis_), kBoard);
}

void MotorAxis::ServoOff() {
    EP_SetServoOn(0, static_cast<short>(axis_), kBoard);
}

bool MotorAxis::SetVoltage(float volts) {
    // Only magnitudes below the limit are written (not NaN either); above it
    // the command is refused aloud, at exactly the limit silently.
    const double magnitude = std::fabs(static_cast<double>(volts));
    if (!(magnitude < kVoltageLimit)) {
        if (magnitude > kVoltageLimit) {
            std::fputs(messages::kSpeedTooHigh, stdout);
        }
        return false;
    }
    switch (axis_) {
        case 0:
            EP_SetDACOutput(volts - kCarriageOffset, 0, kBoard);
            break;
        case 1:
            EP_SetDACOutput(volts - kShoulderOffset, 1, kBoard);
            break;
        case 2:
            // The elbow amplifier is wired inverted.
            EP_SetDACOutput(-volts - kElbowOffset, 2, kBoard);
            break;
        default:
            return false;
    }
    return true;
}

void OpenMotionCard() {
    // Words beyond 78 are not used by the console; they are handed over as 0.
    GroupConfiguration group{};
    group.words[0] = 0;
    for (int word = 1; word < 72; ++word) {
        group.words[word] = -1;
    }
    const std::int32_t axisGroup[] = {1, 0, 1, 2, 3, 4, -1};
    for (int i = 0; i < 7; ++i) {
        group.words[72 + i] = axisGroup[i];
    }
    EP_SetGroupConfig(&group);
    EP_SetSysMaxSpeed(1000.0);
    if (EP_InitSystem(5) == 0) {
        std::fputs(messages::kInitialised, stdout);
    }
    EP_SetDACClockDivider(10, kBoard);
    EP_StartDACConv(kBoard);
}

void CloseMotionCard() {
    EP_StopDACConv(kBoard);
    EP_CloseSystem();
}

void ReadEncoderCounts() {
    ReadRawCounts();
    EncoderCounts[2] = -EncoderCounts[2];
}

void ReadJointAngles(float out[arm::kEncoderChannelCount]) {
    ReadRawCounts();
    out[0] = static_cast<float>(EncoderCounts[0] / arm::kCarriageCountsPerRevolution * 360.0);
    out[1] = static_cast<float>(EncoderCounts[1] / arm::kJointCountsPerRevolution * 360.0 +
                                arm::kShoulderDegreesAtZero);
    out[2] = static_cast<float>(EncoderCounts[2] / arm::kJointCountsPerRevolution * -360.0 +
                                arm::kElbowDegreesAtZero);
    const std::int32_t difference = EncoderCounts[3] - EncoderCounts[4];
    const std::int32_t sum = EncoderCounts[3] + EncoderCounts[4];
    out[3] = static_cast<float>(difference / arm::kMuscleJointCountsPerDegree);
    out[4] = static_cast<float>(sum / arm::kMuscleJointCountsPerDegree);
}

void ReadLimitSwitches() {
    for (short axis = 0; axis < arm::kMotorCount; ++axis) {
        for (short limitSwitch = 0; limitSwitch < 2; ++limitSwitch) {
            EP_GetLimitStatus(&LimitStatus[2 * axis + limitSwitch], limitSwitch, axis, kBoard);
        }
    }
}

int CheckLimitSwitches() {
    ReadLimitSwitches();
    for (const std::int16_t state : LimitStatus) {
        if (state != 0) {
            AbortAndStopServos();
            return 0;
        }
    }
    return 1;
}

void ReadEmergencyStop() {
    EP_GetEmgcStopStatus(&EmergencyStopStatus, kBoard);
}

int CheckEmergencyStop() {
    ReadEmergencyStop();
    if (EmergencyStopStatus == 1) {
        AbortAndStopServos();
        return 0;
    }
    return 1;
}
