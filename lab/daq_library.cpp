// The data-acquisition library of the virtual lab: device 0 is the analog
// input device, device 1 the analog output device driving the valves.
#include "platform/daq_library.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "lab/lab_state.h"
#include "lab/plant_parameters.h"

namespace {

using lab::BeginCall;
using lab::LabState;
namespace plant = lab::plant;

// The device a handle stands for, or -1.
int DeviceOf(const LabState& lab, std::int32_t handle) {
    const std::int64_t device = static_cast<std::int64_t>(handle) - plant::kHandleBase;
    if (device < 0 || device > 1 || !lab.deviceOpen[device]) {
        return -1;
    }
    return static_cast<int>(device);
}

bool IsInput(const LabState& lab, std::int32_t handle) {
    return DeviceOf(lab, handle) == static_cast<int>(plant::kInputDevice);
}

bool IsOutput(const LabState& lab, std::int32_t handle) {
    return DeviceOf(lab, handle) == static_cast<int>(plant::kOutputDevice);
}

void Journal(LabState& lab, const char* function, std::initializer_list<double> arguments,
             std::vector<std::uint8_t> record, int result, std::vector<double> outputs = {}) {
    lab.AddCall({function, arguments, std::move(record), std::move(outputs), result});
}

// Records with padding are journalled from a zeroed copy, so the journal
// holds only what the caller set.
template <class Record>
Record ZeroedCopy() {
    Record copy;
    std::memset(&copy, 0, sizeof copy);
    return copy;
}

std::vector<std::uint8_t> BufferRequestBytes(void* buffer, std::uint16_t size) {
    auto copy = ZeroedCopy<DeviceFeaturesRequest>();
    copy.buffer = buffer;
    copy.size = size;
    return lab::Bytes(copy);
}

// Fills a caller's buffer as the card's description would: zeros.
int FillBuffer(const LabState& lab, std::int32_t handle, void* buffer, std::uint16_t size) {
    if (DeviceOf(lab, handle) < 0) {
        return lab::kNotReady;
    }
    if (buffer == nullptr) {
        return lab::kBadArgument;
    }
    std::memset(buffer, 0, size);
    return lab::kSuccess;
}

}  // namespace

int DRV_DeviceOpen(std::uint32_t deviceNumber, std::int32_t* handle) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (handle == nullptr || deviceNumber > 1) {
        result = lab::kBadArgument;
    } else if (lab.failOpen[deviceNumber]) {
        result = lab::kInjectedFault;
    } else {
        lab.deviceOpen[deviceNumber] = true;
        *handle = plant::kHandleBase + static_cast<std::int32_t>(deviceNumber);
    }
    if (lab.journalOn) {
        std::vector<double> outputs;
        if (result == lab::kSuccess) {
            outputs.push_back(*handle);
        }
        Journal(lab, "DRV_DeviceOpen", {double(deviceNumber)}, {}, result, outputs);
    }
    return result;
}

int DRV_DeviceClose(std::int32_t* handle) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    const std::int32_t given = handle != nullptr ? *handle : 0;
    const int device = handle != nullptr ? DeviceOf(lab, *handle) : -1;
    if (device < 0) {
        result = lab::kNotReady;
    } else {
        // The outputs hold their last values after the device is released.
        lab.deviceOpen[device] = false;
        if (device == static_cast<int>(plant::kInputDevice)) {
            lab.inputConfigured = false;
        } else {
            lab.syncOutput = false;
        }
        *handle = 0;
    }
    if (lab.journalOn) {
        Journal(lab, "DRV_DeviceClose", {double(given)}, {}, result);
    }
    return result;
}

namespace {

// Both description calls fill a caller's buffer of a given size.
template <class Request>
int FillRequestedBuffer(const char* function, std::int32_t handle, Request* request) {
    LabState& lab = BeginCall();
    const int result = request != nullptr ? FillBuffer(lab, handle, request->buffer, request->size)
                                          : lab::kBadArgument;
    if (lab.journalOn) {
        Journal(lab, function, {double(handle)},
                request != nullptr ? BufferRequestBytes(request->buffer, request->size)
                                   : std::vector<std::uint8_t>{},
                result);
    }
    return result;
}

}  // namespace

int DRV_DeviceGetFeatures(std::int32_t handle, DeviceFeaturesRequest* request) {
    return FillRequestedBuffer("DRV_DeviceGetFeatures", handle, request);
}

int DRV_AIGetConfig(std::int32_t handle, InputConfigRequest* request) {
    return FillRequestedBuffer("DRV_AIGetConfig", handle, request);
}

int DRV_MAIConfig(std::int32_t handle, MultiInputConfig* config) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsInput(lab, handle)) {
        result = lab::kNotReady;
    } else if (config == nullptr || config->channelCount == 0 ||
               config->startChannel + config->channelCount > plant::kInputChannels) {
        result = lab::kBadArgument;
    } else {
        lab.inputConfigured = true;
        lab.inputStart = config->startChannel;
        lab.inputCount = config->channelCount;
    }
    if (lab.journalOn) {
        std::vector<std::uint8_t> bytes;
        if (config != nullptr) {
            auto copy = ZeroedCopy<MultiInputConfig>();
            copy.channelCount = config->channelCount;
            copy.startChannel = config->startChannel;
            copy.gainCodes = config->gainCodes;
            bytes = lab::Bytes(copy);
        }
        Journal(lab, "DRV_MAIConfig", {double(handle)}, std::move(bytes), result);
    }
    return result;
}

int DRV_MAIVoltageIn(std::int32_t handle, MultiInputRead* read) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsInput(lab, handle) || !lab.inputConfigured) {
        result = lab::kNotReady;
    } else if (read == nullptr || read->voltages == nullptr ||
               read->startChannel != lab.inputStart || read->channelCount != lab.inputCount) {
        result = lab::kBadArgument;
    } else {
        for (int i = 0; i < read->channelCount; ++i) {
            read->voltages[i] = lab.SensorVoltage(read->startChannel + i);
        }
    }
    if (lab.journalOn) {
        std::vector<std::uint8_t> bytes;
        std::vector<double> outputs;
        if (read != nullptr) {
            auto copy = ZeroedCopy<MultiInputRead>();
            copy.channelCount = read->channelCount;
            copy.startChannel = read->startChannel;
            copy.gainCodes = read->gainCodes;
            copy.triggerMode = read->triggerMode;
            copy.voltages = read->voltages;
            bytes = lab::Bytes(copy);
            if (result == lab::kSuccess) {
                outputs.assign(read->voltages, read->voltages + read->channelCount);
            }
        }
        Journal(lab, "DRV_MAIVoltageIn", {double(handle)}, std::move(bytes), result,
                std::move(outputs));
    }
    return result;
}

int DRV_EnableSyncAO(std::int32_t handle, int enable) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsOutput(lab, handle)) {
        result = lab::kNotReady;
    } else {
        lab.syncOutput = enable != 0;
    }
    if (lab.journalOn) {
        Journal(lab, "DRV_EnableSyncAO", {double(handle), double(enable)}, {}, result);
    }
    return result;
}

int DRV_AOVoltageOut(std::int32_t handle, AnalogOutput* output) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsOutput(lab, handle)) {
        result = lab::kNotReady;
    } else if (output == nullptr || output->channel >= plant::kValveChannels ||
               !std::isfinite(output->voltage)) {
        result = lab::kBadArgument;
    } else {
        const float volts =
            std::clamp(output->voltage, 0.0f, static_cast<float>(plant::kValveRangeVolts));
        lab.latchedValve[output->channel] = volts;
        if (!lab.syncOutput) {
            lab.valveOutput[output->channel] = volts;
        }
    }
    if (lab.journalOn) {
        std::vector<std::uint8_t> bytes;
        if (output != nullptr) {
            auto copy = ZeroedCopy<AnalogOutput>();
            copy.channel = output->channel;
            copy.voltage = output->voltage;
            bytes = lab::Bytes(copy);
        }
        Journal(lab, "DRV_AOVoltageOut", {double(handle)}, std::move(bytes), result);
    }
    return result;
}

int DRV_WriteSyncAO(std::int32_t handle) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsOutput(lab, handle)) {
        result = lab::kNotReady;
    } else if (lab.syncOutput) {
        std::copy(std::begin(lab.latchedValve), std::end(lab.latchedValve),
                  std::begin(lab.valveOutput));
    }
    if (lab.journalOn) {
        Journal(lab, "DRV_WriteSyncAO", {double(handle)}, {}, result);
    }
    return result;
}
