#include "runs/control_tick.h"

#include <algorithm>

#include "cards/daq_card.h"
#include "cards/motion_card.h"

namespace runs {

void ControlTick(const TickNetworks& nets,
                 const networks::ValveInputs (&valveInputs)[arm::kMuscleCount],
                 const VelocityRecord& velocity, Sample& sample) {
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        nets.valve[m]->Evaluate(valveInputs[m], ValveVoltages[m]);
    }
    std::copy(ValveVoltages, ValveVoltages + arm::kMuscleCount, sample.valveComputed);
    sample.valvesLatched = WriteValveVoltages(ValveVoltages);
    std::copy(ValveVoltages, ValveVoltages + arm::kMuscleCount, sample.valveAccepted);

    float pressures[arm::kPressureChannelCount] = {};
    ReadPressures(pressures);
    std::copy(pressures, pressures + arm::kMuscleCount, sample.measured);

    float* u = sample.motor;
    nets.doubleLink->Evaluate(velocity.velocity[1], velocity.velocity[2], u[1], u[2]);
    nets.upperLink->Evaluate(velocity.velocity[0], u[0]);
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].SetVoltage(u[axis]);
    }

    ReadEncoderCounts();
    std::copy(EncoderCounts, EncoderCounts + arm::kEncoderChannelCount, sample.counts);
}

}  // namespace runs
