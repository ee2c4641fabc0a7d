#include "lab/lab.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <numbers>
#include <string_view>

#include "lab/lab_state.h"
#include "lab/plant_parameters.h"
#include "platform/clock.h"

namespace lab {

namespace {

// Written by the signal handlers and the control surface, read by the card.
volatile std::sig_atomic_t emergencyStop = 0;

void OnPressSignal(int) {
    emergencyStop = 1;
}
void OnReleaseSignal(int) {
    emergencyStop = 0;
}

void InstallSignalHandlers() {
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = OnPressSignal;
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = OnReleaseSignal;
    sigaction(SIGUSR2, &action, nullptr);
}

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
// Shoulder and elbow radians per count of their encoders.
constexpr double kJointRadiansPerCount = 1.0 / plant::kJointCountsPerDegree * kRadiansPerDegree;

void ResetState(LabState& lab) {
    for (int axis = 0; axis < 3; ++axis) {
        lab.position[axis] = 0.0;
        lab.motor[axis] = {};
        lab.dacOutput[axis] = 0.0f;
        lab.heldSwitch[axis][0] = lab.heldSwitch[axis][1] = 0;
    }
    std::fill(std::begin(lab.pressureBar), std::end(lab.pressureBar), 0.0);
    lab.tool = {};
    for (plant::MuscleMemory& memory : lab.muscle) {
        memory = {};
        memory.volume = plant::MuscleVolume(lab.model, lab.model.parameters.mountingContraction);
    }
    lab.valvesSealed = false;
    lab.plantNanoseconds = platform::NowNanoseconds();
    lab.plantOnVirtualClock = platform::IsVirtualClock();

    lab.initialised = false;
    lab.dacConverting = false;
    lab.limitCheck = false;
    std::fill(std::begin(lab.servoOn), std::end(lab.servoOn), false);
    std::fill(std::begin(lab.counterZero), std::end(lab.counterZero), 0);
    lab.failInit = false;

    lab.deviceOpen[0] = lab.deviceOpen[1] = false;
    lab.failOpen[0] = lab.failOpen[1] = false;
    lab.inputConfigured = false;
    lab.inputStart = 0;
    lab.inputCount = 0;
    lab.syncOutput = false;
    std::fill(std::begin(lab.latchedValve), std::end(lab.latchedValve), 0.0f);
    std::fill(std::begin(lab.valveOutput), std::end(lab.valveOutput), 0.0f);

    lab.residualOffsetsZeroed = false;
    const plant::Parameters& p = lab.model.parameters;
    lab.noiseVolts = p.pressureNoiseBar * p.sensorVoltsPerBar;
    lab.noise.seed(static_cast<std::uint32_t>(p.noiseSeed));
    lab.journal.clear();
    emergencyStop = 0;
}

// The count a channel's encoder shows before its zero point is taken off:
// the motor axes' positions rounded, the joint's two shafts counted in whole
// steps each.
std::int64_t RawCount(const LabState& lab, int channel) {
    const double halfAngle =
        lab.tool.angle / kRadiansPerDegree / 2.0 * plant::kToolEncoderCountsPerDegree;
    const double* scale = lab.model.parameters.toolEncoderScale;
    switch (channel) {
        case 3:
            return static_cast<std::int64_t>(std::floor(halfAngle * scale[0]));
        case 4:
            return static_cast<std::int64_t>(std::floor(-halfAngle * scale[1]));
        default:
            return std::llround(lab.position[channel]);
    }
}

}  // namespace

LabState::LabState()
    : model(plant::BuiltIn()),
      machineParameters{},
      homeConfiguration{},
      encoderConfiguration{},
      configurationsReceived{},
      journalOn(false) {
    InstallSignalHandlers();
    ResetState(*this);
}

LabState& State() {
    static LabState lab;
    return lab;
}

LabState& BeginCall() {
    LabState& lab = State();
    lab.Advance();
    return lab;
}

bool EmergencyStopPressed() {
    return emergencyStop != 0;
}

void LabState::Advance() {
    platform::AdvanceVirtualClock(plant::kCallNanoseconds);
    const std::int64_t now = platform::NowNanoseconds();
    const bool onVirtualClock = platform::IsVirtualClock();
    // A switch between real and virtual time, or a clock that went back,
    // restarts the plant's time base instead of simulating the jump.
    if (onVirtualClock != plantOnVirtualClock || now < plantNanoseconds) {
        plantOnVirtualClock = onVirtualClock;
        plantNanoseconds = now;
        return;
    }
    plantNanoseconds = std::max(plantNanoseconds, now - plant::kMaxCatchUpNanoseconds);
    while (now - plantNanoseconds >= plant::kStepNanoseconds) {
        Step();
        plantNanoseconds += plant::kStepNanoseconds;
    }
}

void LabState::Step() {
    const plant::Parameters& parameters = model.parameters;
    const bool driving = initialised && dacConverting && !EmergencyStopPressed();
    const double shoulder =
        plant::kShoulderHomeDegrees * kRadiansPerDegree + position[1] * kJointRadiansPerCount;
    // Axis 2 counts against the elbow angle.
    const double elbow =
        plant::kElbowHomeDegrees * kRadiansPerDegree - position[2] * kJointRadiansPerCount;
    double gravity[3];
    plant::MotorGravity(model, shoulder, elbow, gravity);
    double accelerations[3];
    for (int axis = 0; axis < 3; ++axis) {
        const plant::AxisParameters& p = parameters.axes[axis];
        const bool on = driving && servoOn[axis];
        double input = 0.0;
        if (on) {
            input = std::clamp(static_cast<double>(dacOutput[axis]), -parameters.dacRangeVolts,
                               parameters.dacRangeVolts) +
                    (residualOffsetsZeroed ? p.correctedOffsetVolts : p.amplifierOffsetVolts());
        }
        const double before = motor[axis].speed;
        motor[axis] = plant::MotorStep(model, p, on, input, gravity[axis], motor[axis]);
        double& speed = motor[axis].speed;
        // With limit checking on, the card holds an axis that drives into an
        // active switch; it may still drive away from it.
        if (limitCheck &&
            ((SwitchActive(axis, 0) && speed < 0.0) || (SwitchActive(axis, 1) && speed > 0.0))) {
            speed = 0.0;
        }
        position[axis] += speed * plant::kStepSeconds;
        if (position[axis] <= p.lowerStop || position[axis] >= p.upperStop) {
            position[axis] = std::clamp(position[axis], p.lowerStop, p.upperStop);
            speed = 0.0;
        }
        accelerations[axis] = (speed - before) / plant::kStepSeconds;
    }
    for (int m = 0; m < 4; ++m) {
        const double valve =
            std::clamp(static_cast<double>(valveOutput[m]), 0.0, parameters.valveRangeVolts);
        const double set = plant::ValveSetPressure(model, valve);
        plant::TrackSetPressure(model, muscle[m], set);
        const double volume =
            plant::MuscleVolume(model, plant::MuscleContraction(model, m, tool.angle));
        pressureBar[m] = plant::ChamberPressureStep(model, pressureBar[m], set, muscle[m].volume,
                                                    volume, valvesSealed);
        muscle[m].volume = volume;
    }
    const plant::ArmMotion arm = {
        shoulder,
        motor[1].speed * kJointRadiansPerCount,
        accelerations[1] * kJointRadiansPerCount,
        elbow,
        -motor[2].speed * kJointRadiansPerCount,
        -accelerations[2] * kJointRadiansPerCount,
    };
    const double before = tool.angle;
    tool = plant::ToolStep(model, tool, arm,
                           plant::MuscleTorque(model, muscle, pressureBar, tool.angle, tool.rate));
    // The braid's slip elements follow each muscle's change of length.
    for (int m = 0; m < 4; ++m) {
        plant::SlipStep(model, muscle[m],
                        plant::ContractionPerRadian(model, m) * (tool.angle - before) *
                            parameters.muscleRestLengthMetres,
                        pressureBar[m]);
    }
}

bool LabState::SwitchActive(int axis, int limitSwitch) const {
    const plant::AxisParameters& p = model.parameters.axes[axis];
    const bool reached =
        limitSwitch == 0 ? position[axis] <= p.lowerSwitch : position[axis] >= p.upperSwitch;
    return reached || heldSwitch[axis][limitSwitch] != 0;
}

short LabState::SwitchState(int axis, int limitSwitch) const {
    if (heldSwitch[axis][limitSwitch] != 0) {
        return heldSwitch[axis][limitSwitch];
    }
    return SwitchActive(axis, limitSwitch) ? 1 : 0;
}

std::int32_t LabState::Counter(int channel) const {
    return static_cast<std::int32_t>(RawCount(*this, channel) - counterZero[channel]);
}

float LabState::SensorVoltage(int channel) {
    if (channel >= 4) {
        return 0.0f;
    }
    const plant::Parameters& p = model.parameters;
    double volts = (pressureBar[channel] - 1.0) * p.sensorVoltsPerBar + p.sensorVoltsAtOneBar;
    if (noiseVolts > 0.0) {
        // Box-Muller on the generator's raw output, the same on every library.
        const double u1 = (static_cast<double>(noise()) + 0.5) / 4294967296.0;
        const double u2 = (static_cast<double>(noise()) + 0.5) / 4294967296.0;
        volts +=
            noiseVolts * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }
    return static_cast<float>(volts);
}

void LabState::AddCall(Call call) {
    journal.push_back(std::move(call));
}

bool Call::operator==(const Call& other) const {
    return std::string_view(function) == other.function && arguments == other.arguments &&
           record == other.record && outputs == other.outputs && result == other.result;
}

void Reset() {
    ResetState(State());
}

void SetPlant(const plant::Parameters& parameters) {
    LabState& lab = State();
    lab.model = plant::Model(parameters);
    for (int m = 0; m < 4; ++m) {
        lab.muscle[m].volume =
            plant::MuscleVolume(lab.model, plant::MuscleContraction(lab.model, m, lab.tool.angle));
    }
    lab.noiseVolts = parameters.pressureNoiseBar * parameters.sensorVoltsPerBar;
    lab.noise.seed(static_cast<std::uint32_t>(parameters.noiseSeed));
}

const plant::Parameters& Plant() {
    return State().model.parameters;
}

void SetArmPose(const ArmPose& pose) {
    LabState& lab = State();
    lab.Advance();
    lab.position[0] = pose.carriageMillimetres * plant::kCarriageCountsPerMillimetre;
    lab.position[1] =
        (pose.shoulderDegrees - plant::kShoulderHomeDegrees) * plant::kJointCountsPerDegree;
    lab.position[2] = (plant::kElbowHomeDegrees - pose.elbowDegrees) * plant::kJointCountsPerDegree;
    std::fill(std::begin(lab.motor), std::end(lab.motor), plant::Motor{});
    lab.tool = {pose.toolDegrees * kRadiansPerDegree, 0.0};
}

void SetEncoderCounts(const std::int32_t counts[5]) {
    LabState& lab = State();
    lab.Advance();
    for (int channel = 0; channel < 5; ++channel) {
        lab.counterZero[channel] = RawCount(lab, channel) - counts[channel];
    }
}

void SetMusclePressures(const double bar[4]) {
    LabState& lab = State();
    lab.Advance();
    std::copy(bar, bar + 4, lab.pressureBar);
}

void SetSensorNoise(double volts) {
    State().noiseVolts = volts;
}

void SealValves(bool sealed) {
    LabState& lab = State();
    lab.Advance();
    lab.valvesSealed = sealed;
}

void ZeroResidualOffsets(bool zero) {
    State().residualOffsetsZeroed = zero;
}

Snapshot TakeSnapshot() {
    LabState& lab = State();
    lab.Advance();
    Snapshot snapshot = {};
    for (int axis = 0; axis < 3; ++axis) {
        snapshot.axisPosition[axis] = lab.position[axis];
        snapshot.axisVelocity[axis] = lab.motor[axis].speed;
        snapshot.servoOn[axis] = lab.servoOn[axis];
        snapshot.dacOutput[axis] = lab.dacOutput[axis];
    }
    snapshot.systemInitialised = lab.initialised;
    snapshot.dacConverting = lab.dacConverting;
    snapshot.limitCheck = lab.limitCheck;
    snapshot.pressureInputOpen = lab.deviceOpen[0];
    snapshot.valveOutputOpen = lab.deviceOpen[1];
    std::copy(std::begin(lab.pressureBar), std::end(lab.pressureBar), snapshot.pressureBar);
    std::copy(std::begin(lab.valveOutput), std::end(lab.valveOutput), snapshot.valveOutput);
    snapshot.toolDegrees = lab.tool.angle / kRadiansPerDegree;
    snapshot.toolDegreesPerSecond = lab.tool.rate / kRadiansPerDegree;
    return snapshot;
}

void PressEmergencyStop() {
    State();  // handlers in place before the flag is used
    emergencyStop = 1;
}

void ReleaseEmergencyStop() {
    emergencyStop = 0;
}

void HoldLimitSwitch(int axis, int limitSwitch, short state) {
    if (axis >= 0 && axis < 3 && (limitSwitch == 0 || limitSwitch == 1)) {
        State().heldSwitch[axis][limitSwitch] = state;
    }
}

void FailInitSystem(bool fail) {
    State().failInit = fail;
}

void FailDeviceOpen(std::uint32_t deviceNumber, bool fail) {
    if (deviceNumber < 2) {
        State().failOpen[deviceNumber] = fail;
    }
}

void EnableJournal(bool on) {
    State().journalOn = on;
}

const std::vector<Call>& Journal() {
    return State().journal;
}

void ClearJournal() {
    State().journal.clear();
}

}  // namespace lab
