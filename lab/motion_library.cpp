// The motion-card library of the virtual lab.
#include "platform/motion_library.h"

#include <cmath>

#include "lab/lab_state.h"

namespace {

using lab::BeginCall;
using lab::LabState;

constexpr short kBoard = 1;
// The card's axes 0 to 4 each have an encoder; axes 0 to 2 drive motors.
constexpr int kCardAxes = 5;
constexpr int kMotorAxes = 3;

bool IsAxis(short axis) {
    return axis >= 0 && axis < kCardAxes;
}
bool IsMotorAxis(short axis) {
    return axis >= 0 && axis < kMotorAxes;
}

// Journals a call whose arguments are all scalars.
int Finish(LabState& lab, const char* function, std::initializer_list<double> arguments, int result,
           std::initializer_list<double> outputs = {}) {
    if (lab.journalOn) {
        lab.AddCall({function, arguments, {}, outputs, result});
    }
    return result;
}

// Journals a call that hands over a record.
template <class Record>
int FinishWithRecord(LabState& lab, const char* function, const Record* record,
                     std::initializer_list<double> arguments, int result) {
    if (lab.journalOn) {
        lab.AddCall({function,
                     arguments,
                     record != nullptr ? lab::Bytes(*record) : std::vector<std::uint8_t>{},
                     {},
                     result});
    }
    return result;
}

// Stores an axis configuration record in the card's memory.
template <class Record>
int Configure(Record* record, short axis, short board, Record (&memory)[kCardAxes]) {
    if (record == nullptr || !IsAxis(axis) || board != kBoard) {
        return lab::kBadArgument;
    }
    memory[axis] = *record;
    ++lab::State().configurationsReceived[axis];
    return lab::kSuccess;
}

}  // namespace

int EP_SetMacParam(MachineParameters* parameters, short axis, short board) {
    LabState& lab = BeginCall();
    const int result = Configure(parameters, axis, board, lab.machineParameters);
    return FinishWithRecord(lab, "EP_SetMacParam", parameters, {double(axis), double(board)},
                            result);
}

int EP_SetHomeConfig(HomeConfiguration* configuration, short axis, short board) {
    LabState& lab = BeginCall();
    const int result = Configure(configuration, axis, board, lab.homeConfiguration);
    return FinishWithRecord(lab, "EP_SetHomeConfig", configuration, {double(axis), double(board)},
                            result);
}

int EP_SetEncoderConfig(EncoderConfiguration* configuration, short axis, short board) {
    LabState& lab = BeginCall();
    const int result = Configure(configuration, axis, board, lab.encoderConfiguration);
    return FinishWithRecord(lab, "EP_SetEncoderConfig", configuration,
                            {double(axis), double(board)}, result);
}

int EP_SetGroupConfig(GroupConfiguration* configuration) {
    LabState& lab = BeginCall();
    const int result = configuration != nullptr ? lab::kSuccess : lab::kBadArgument;
    return FinishWithRecord(lab, "EP_SetGroupConfig", configuration, {}, result);
}

int EP_SetSysMaxSpeed(double speed) {
    LabState& lab = BeginCall();
    return Finish(lab, "EP_SetSysMaxSpeed", {speed}, lab::kSuccess);
}

int EP_InitSystem(short axisCount) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (lab.failInit) {
        result = lab::kInjectedFault;
    } else if (axisCount < 1 || axisCount > 5) {
        result = lab::kBadArgument;
    }
    // Initialising resets the outputs: servos off, motor outputs 0, limit
    // checking off. The encoder counters keep counting.
    lab.initialised = result == lab::kSuccess;
    lab.dacConverting = false;
    lab.limitCheck = false;
    for (bool& on : lab.servoOn) {
        on = false;
    }
    for (float& volts : lab.dacOutput) {
        volts = 0.0f;
    }
    return Finish(lab, "EP_InitSystem", {double(axisCount)}, result);
}

int EP_CloseSystem() {
    LabState& lab = BeginCall();
    lab.initialised = false;
    lab.dacConverting = false;
    for (bool& on : lab.servoOn) {
        on = false;
    }
    return Finish(lab, "EP_CloseSystem", {}, lab::kSuccess);
}

int EP_SetDACClockDivider(short divider, short board) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (board != kBoard || divider < 1) {
        result = lab::kBadArgument;
    } else if (!lab.initialised) {
        result = lab::kNotReady;
    }
    return Finish(lab, "EP_SetDACClockDivider", {double(divider), double(board)}, result);
}

namespace {

int SetConverting(LabState& lab, short board, bool on) {
    if (board != kBoard) {
        return lab::kBadArgument;
    }
    if (!lab.initialised) {
        return lab::kNotReady;
    }
    lab.dacConverting = on;
    return lab::kSuccess;
}

}  // namespace

int EP_StartDACConv(short board) {
    LabState& lab = BeginCall();
    return Finish(lab, "EP_StartDACConv", {double(board)}, SetConverting(lab, board, true));
}

int EP_StopDACConv(short board) {
    LabState& lab = BeginCall();
    return Finish(lab, "EP_StopDACConv", {double(board)}, SetConverting(lab, board, false));
}

int EP_SetServoOn(short on, short axis, short board) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsAxis(axis) || board != kBoard || (on != 0 && on != 1)) {
        result = lab::kBadArgument;
    } else if (!lab.initialised) {
        result = lab::kNotReady;
    } else {
        lab.servoOn[axis] = on == 1;
    }
    return Finish(lab, "EP_SetServoOn", {double(on), double(axis), double(board)}, result);
}

int EP_SetDACOutput(float volts, short axis, short board) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsMotorAxis(axis) || board != kBoard || !std::isfinite(volts)) {
        result = lab::kBadArgument;
    } else if (!lab.initialised) {
        result = lab::kNotReady;
    } else {
        lab.dacOutput[axis] = volts;
    }
    return Finish(lab, "EP_SetDACOutput", {volts, double(axis), double(board)}, result);
}

int EP_AbortMotion(short board) {
    LabState& lab = BeginCall();
    for (int axis = 0; axis < kMotorAxes; ++axis) {
        lab.motor[axis] = {};
        lab.dacOutput[axis] = 0.0f;
    }
    return Finish(lab, "EP_AbortMotion", {double(board)}, lab::kSuccess);
}

int EP_EnableLimitCheck(short enable, short board) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (board != kBoard) {
        result = lab::kBadArgument;
    } else if (!lab.initialised) {
        result = lab::kNotReady;
    } else {
        lab.limitCheck = enable != 0;
    }
    return Finish(lab, "EP_EnableLimitCheck", {double(enable), double(board)}, result);
}

int EP_GetENCCounter(std::int32_t* count, short channel, short board) {
    LabState& lab = BeginCall();
    if (count == nullptr || !IsAxis(channel) || board != kBoard) {
        return Finish(lab, "EP_GetENCCounter", {double(channel), double(board)}, lab::kBadArgument);
    }
    *count = lab.Counter(channel);
    return Finish(lab, "EP_GetENCCounter", {double(channel), double(board)}, lab::kSuccess,
                  {double(*count)});
}

int EP_ClearENCCounter(short channel, short board) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsAxis(channel) || board != kBoard) {
        result = lab::kBadArgument;
    } else {
        lab.counterZero[channel] += lab.Counter(channel);
    }
    return Finish(lab, "EP_ClearENCCounter", {double(channel), double(board)}, result);
}

int EP_GetLimitStatus(short* state, short limitSwitch, short axis, short board) {
    LabState& lab = BeginCall();
    if (state == nullptr || !IsAxis(axis) || (limitSwitch != 0 && limitSwitch != 1) ||
        board != kBoard) {
        return Finish(lab, "EP_GetLimitStatus", {double(limitSwitch), double(axis), double(board)},
                      lab::kBadArgument);
    }
    // Axes 3 and 4 have no switches.
    *state = IsMotorAxis(axis) ? lab.SwitchState(axis, limitSwitch) : 0;
    return Finish(lab, "EP_GetLimitStatus", {double(limitSwitch), double(axis), double(board)},
                  lab::kSuccess, {double(*state)});
}

int EP_GetEmgcStopStatus(short* state, short board) {
    LabState& lab = BeginCall();
    if (state == nullptr || board != kBoard) {
        return Finish(lab, "EP_GetEmgcStopStatus", {double(board)}, lab::kBadArgument);
    }
    *state = lab::EmergencyStopPressed() ? 1 : 0;
    return Finish(lab, "EP_GetEmgcStopStatus", {double(board)}, lab::kSuccess, {double(*state)});
}
