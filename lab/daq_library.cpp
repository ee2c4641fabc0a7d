// The data-acquisition library of the virtual lab: device 0 is the analog
// input device, device 1 the analog output device driving the valves.
#include "platform/daq_library.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

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

// Journals a call whose arguments are all scalars.
int Finish(LabState& lab, const char* function, std::initializer_list<double> arguments, int result,
           std::span<const double> outputs = {}) {
    if (lab.journalOn) {
        lab.AddCall({function, arguments, {}, {outputs.begin(), outputs.end()}, result});
    }
    return result;
}

// Journals a call that hands over a record (none when `record` is null).
template <class Record>
int FinishWithRecord(LabState& lab, const char* function, const Record* record,
                     std::initializer_list<double> arguments, int result,
                     std::span<const float> outputs = {}) {
    if (lab.journalOn) {
        lab.AddCall({function,
                     arguments,
                     record != nullptr ? lab::Bytes(*record) : std::vector<std::uint8_t>{},
                     {outputs.begin(), outputs.end()},
                     result});
    }
    return result;
}

// Records with padding are journalled from a zeroed copy, so the journal
// holds only what the caller set.
template <class Record>
Record ZeroedCopy() {
    Record copy;
    std::memset(&copy, 0, sizeof copy);
    return copy;
}

DeviceFeaturesRequest BufferRequest(void* buffer, std::uint16_t size) {
    auto copy = ZeroedCopy<DeviceFeaturesRequest>();
    copy.buffer = buffer;
    copy.size = size;
    return copy;
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
    const double opened = result == lab::kSuccess ? *handle : 0;
    return Finish(lab, "DRV_DeviceOpen", {double(deviceNumber)}, result,
                  {&opened, result == lab::kSuccess ? 1u : 0u});
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
    return Finish(lab, "DRV_DeviceClose", {double(given)}, result);
}

namespace {

// Both description calls fill a caller's buffer of a given size.
template <class Request>
int FillRequestedBuffer(const char* function, std::int32_t handle, Request* request) {
    LabState& lab = BeginCall();
    const int result = request != nullptr ? FillBuffer(lab, handle, request->buffer, request->size)
                                          : lab::kBadArgument;
    const DeviceFeaturesRequest journalled = request != nullptr
                                                 ? BufferRequest(request->buffer, request->size)
                                                 : DeviceFeaturesRequest{};
    return FinishWithRecord(lab, function, request != nullptr ? &journalled : nullptr,
                            {double(handle)}, result);
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
    auto journalled = ZeroedCopy<MultiInputConfig>();
    if (config != nullptr) {
        journalled.channelCount = config->channelCount;
        journalled.startChannel = config->startChannel;
        journalled.gainCodes = config->gainCodes;
    }
    return FinishWithRecord(lab, "DRV_MAIConfig", config != nullptr ? &journalled : nullptr,
                            {double(handle)}, result);
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
    auto journalled = ZeroedCopy<MultiInputRead>();
    std::span<const float> voltages;
    if (read != nullptr) {
        journalled.channelCount = read->channelCount;
        journalled.startChannel = read->startChannel;
        journalled.gainCodes = read->gainCodes;
        journalled.triggerMode = read->triggerMode;
        journalled.voltages = read->voltages;
        if (result == lab::kSuccess) {
            voltages = {read->voltages, read->channelCount};
        }
    }
    return FinishWithRecord(lab, "DRV_MAIVoltageIn", read != nullptr ? &journalled : nullptr,
                            {double(handle)}, result, voltages);
}

int DRV_EnableSyncAO(std::int32_t handle, int enable) {
    LabState& lab = BeginCall();
    int result = lab::kSuccess;
    if (!IsOutput(lab, handle)) {
        result = lab::kNotReady;
    } else {
        lab.syncOutput = enable != 0;
    }
    return Finish(lab, "DRV_EnableSyncAO", {double(handle), double(enable)}, result);
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
        const float volts = std::clamp(output->voltage, 0.0f,
                                       static_cast<float>(lab.model.parameters.valveRangeVolts));
        lab.latchedValve[output->channel] = volts;
        if (!lab.syncOutput) {
            lab.valveOutput[output->channel] = volts;
        }
    }
    auto journalled = ZeroedCopy<AnalogOutput>();
    if (output != nullptr) {
        journalled.channel = output->channel;
        journalled.voltage = output->voltage;
    }
    return FinishWithRecord(lab, "DRV_AOVoltageOut", output != nullptr ? &journalled : nullptr,
                            {double(handle)}, result);
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
    return Finish(lab, "DRV_WriteSyncAO", {double(handle)}, result);
}
