// Inside the virtual lab: the state of the plant and of both cards, shared by
// the library implementations and the control surface of lab.h.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "lab/lab.h"
#include "lab/plant.h"
#include "platform/motion_library.h"

namespace lab {

enum Result : int {
    kSuccess = 0,
    kBadArgument = -1,
    kNotReady = -2,
    kInjectedFault = -3,
};

struct LabState {
    LabState();

    // Brings the plant up to the program clock; every library call starts here.
    void Advance();
    void Step();

    bool SwitchActive(int axis, int limitSwitch) const;
    // The state the card reports: a held state, else 1 or 0.
    short SwitchState(int axis, int limitSwitch) const;
    std::int32_t Counter(int channel) const;
    float SensorVoltage(int channel);
    void AddCall(Call call);

    // The plant's parameters, kept by Reset.
    plant::Model model;

    // The arm.
    double position[3];
    plant::Motor motor[3];
    double pressureBar[4];
    plant::MuscleMemory muscle[4];
    plant::ToolJoint tool;
    bool valvesSealed;
    std::int64_t plantNanoseconds;
    bool plantOnVirtualClock;

    // Motion card.
    bool initialised;
    bool dacConverting;
    bool limitCheck;
    bool servoOn[5];
    float dacOutput[3];
    std::int64_t counterZero[5];
    short heldSwitch[3][2];
    bool failInit;
    MachineParameters machineParameters[5];
    HomeConfiguration homeConfiguration[5];
    EncoderConfiguration encoderConfiguration[5];
    int configurationsReceived[5];

    // Data-acquisition devices.
    bool deviceOpen[2];
    bool failOpen[2];
    bool inputConfigured;
    std::uint16_t inputStart;
    std::uint16_t inputCount;
    bool syncOutput;
    float latchedValve[4];
    float valveOutput[4];

    bool residualOffsetsZeroed;
    double noiseVolts;
    std::mt19937 noise;

    bool journalOn;
    std::vector<Call> journal;
};

// The one lab of the process, created on first use, so the card layer's
// static constructors in other translation units can call the libraries.
LabState& State();
// State() after Advance(): how every library call begins.
LabState& BeginCall();

bool EmergencyStopPressed();

// The bytes of a record as the journal keeps them. Callers copy a record
// with padding field by field into a zeroed one first, so that the journal
// holds only what was set.
template <class Record>
std::vector<std::uint8_t> Bytes(const Record& record) {
    std::vector<std::uint8_t> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

}  // namespace lab
