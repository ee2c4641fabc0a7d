// The motion card: motors on axes 0 (carriage), 1 (shoulder) and 2 (elbow),
// encoders on channels 0 to 4 (3 and 4 measure the muscle-driven joint),
// limit switches and the emergency stop.
#pragma once

#include <cstdint>

#include "arm/arm.h"
#include "platform/motion_library.h"

class MotorAxis {
  public:
    // Sends the axis configuration to the card.
    explicit MotorAxis(int axis);

    void ServoOn();
    void ServoOff();
    // Writes a motor command with the axis's zero-offset correction. A
    // magnitude above 5.0 V is refused with a message, exactly 5.0 V silently;
    // either way the previous output stays. Axes 3 and 4 have no motor.
    // True when the command was written.
    bool SetVoltage(float volts);

  private:
    std::int32_t axis_;
    MachineParameters machineParameters_;
    HomeConfiguration homeConfiguration_;
    EncoderConfiguration encoderConfiguration_;
};

// The five axes, configured during static initialisation in axis order.
extern MotorAxis MotorAxes[arm::kEncoderChannelCount];

// Encoder counts of channels 0 to 4; after ReadEncoderCounts channel 2 is
// negated so that it grows with the elbow angle.
extern std::int32_t EncoderCounts[arm::kEncoderChannelCount];
// Switch states: axis 0 switch 0, axis 0 switch 1, axis 1 switch 0, ...
extern std::int16_t LimitStatus[2 * arm::kMotorCount];
// 1 while the emergency stop is active.
extern std::int16_t EmergencyStopStatus;

void OpenMotionCard();
void CloseMotionCard();

void ReadEncoderCounts();
// Reads the raw counts (channel 2 not negated) and converts them: carriage
// motor rotation, shoulder, elbow, tool joint difference and sum angle, in
// degrees.
void ReadJointAngles(float out[arm::kEncoderChannelCount]);

void ReadLimitSwitches();
// Both return 1 while all is well; otherwise they abort motion, switch the
// servos of axes 0 to 2 off and return 0.
int CheckLimitSwitches();
int CheckEmergencyStop();
// Reads the emergency stop into EmergencyStopStatus and does nothing else:
// for a display that must not act on the arm.
void ReadEmergencyStop();
