#include "cards/daq_card.h"

#include <cstdint>
#include <cstdio>

#include "platform/daq_library.h"
#include "platform/fixed_messages.h"

namespace {

constexpr std::uint32_t kInputDevice = 0;
constexpr std::uint32_t kOutputDevice = 1;
constexpr std::uint16_t kChannelCount = 12;
constexpr std::uint16_t kStartChannel = 0;

std::int32_t inputHandle = 0;
std::int32_t outputHandle = 0;
std::uint16_t gainCodes[kChannelCount] = {};
float sensorVoltages[kChannelCount] = {};
std::uint8_t featureBuffer[520] = {};
std::uint8_t inputConfigBuffer[276] = {};
MultiInputRead voltageRead = {};

}  // namespace

float ValveVoltages[arm::kMuscleCount] = {4.0f, 4.0f, 4.0f, 4.0f};

void OpenPressureInput() {
    DRV_DeviceOpen(kInputDevice, &inputHandle);
    DeviceFeaturesRequest features = {featureBuffer, sizeof featureBuffer};
    DRV_DeviceGetFeatures(inputHandle, &features);
    InputConfigRequest inputConfig = {inputConfigBuffer, sizeof inputConfigBuffer};
    DRV_AIGetConfig(inputHandle, &inputConfig);
    for (std::uint16_t& gain : gainCodes) {
        gain = 0;
    }
    MultiInputConfig config = {kChannelCount, kStartChannel, &gainCodes[kStartChannel]};
    DRV_MAIConfig(inputHandle, &config);
    voltageRead.channelCount = kChannelCount;
    voltageRead.startChannel = kStartChannel;
    voltageRead.gainCodes = &gainCodes[kStartChannel];
    voltageRead.triggerMode = 0;
}

void ReadPressures(float out[arm::kPressureChannelCount]) {
    voltageRead.voltages = &sensorVoltages[kStartChannel];
    DRV_MAIVoltageIn(inputHandle, &voltageRead);
    for (int i = 0; i < kChannelCount; ++i) {
        out[i] = static_cast<float>((sensorVoltages[i] - 1.0) / 0.2038 + 1.0);
    }
}

void ClosePressureInput() {
    DRV_DeviceClose(&inputHandle);
}

void OpenValveOutput() {
    DRV_DeviceOpen(kOutputDevice, &outputHandle);
    DRV_EnableSyncAO(outputHandle, 1);
}

bool WriteValveVoltages(float volts[arm::kMuscleCount]) {
    bool tooHigh = false;
    for (int k = 0; k < arm::kMuscleCount; ++k) {
        if (!(volts[k] > 0.0f)) {
            volts[k] = 0.0f;
        }
        tooHigh = tooHigh || volts[k] > arm::kValveCommandCeilingVolts;
    }
    if (tooHigh) {
        std::fputs(messages::kPressureTooHigh, stdout);
    } else {
        for (std::uint16_t channel = 0; channel < arm::kMuscleCount; ++channel) {
            AnalogOutput output = {channel, volts[channel]};
            DRV_AOVoltageOut(outputHandle, &output);
        }
    }
    DRV_WriteSyncAO(outputHandle);
    return !tooHigh;
}

void CloseValveOutput() {
    DRV_EnableSyncAO(outputHandle, 0);
    DRV_DeviceClose(&outputHandle);
}
