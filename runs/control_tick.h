// One 20 ms tick of the arm driven through its six networks, the same in the
// control runs and in the combined training recording: the valve networks'
// commands written, the pressures read, the link networks' commands sent to
// the motors, the encoders read. Allocates nothing, opens no file, prints
// nothing beyond the card layers' safety messages.
#pragma once

#include <cstdint>

#include "arm/arm.h"
#include "networks/networks.h"
#include "runs/velocity_record.h"

namespace runs {

// What one tick used, read, computed and sent; the log lines of a run are
// formed from these alone.
struct Sample {
    float desired[arm::kMuscleCount] = {};  // desired pressures of muscles 1 to 4
    float slope[arm::kMuscleCount] = {};    // their slopes as the valve networks get them
    // The valve networks' commands as computed, and as the card took them
    // (raised to 0 where below; latched unless one exceeded the ceiling).
    float valveComputed[arm::kMuscleCount] = {};
    float valveAccepted[arm::kMuscleCount] = {};
    bool valvesLatched = false;
    float measured[arm::kMuscleCount] = {};               // pressures read after the valve write
    float motor[arm::kMotorCount] = {};                   // link networks' commands, axes 0 to 2
    std::int32_t counts[arm::kEncoderChannelCount] = {};  // read after the motor commands
};

// The six networks a tick drives through.
struct TickNetworks {
    const networks::AnnetModel* valve[arm::kMuscleCount];
    const networks::DoubleLinkModel* doubleLink;
    const networks::UpperLinkModel* upperLink;
};

// One tick: the valves from `valveInputs` (muscles 1 to 4) through
// ValveVoltages, then the pressures, then the motors from `velocity`, then
// the encoders, each recorded in `sample`.
void ControlTick(const TickNetworks& nets,
                 const networks::ValveInputs (&valveInputs)[arm::kMuscleCount],
                 const VelocityRecord& velocity, Sample& sample);

}  // namespace runs
