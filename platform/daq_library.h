// The data-acquisition library as the console calls it: the
// parameter records it takes and the functions it exports. Every function
// returns 0 on success. Records keep the library's field order; pointers
// are native (8 bytes here).
#pragma once

#include <cstddef>
#include <cstdint>

struct DeviceFeaturesRequest {
    void* buffer;
    std::uint16_t size;
};

struct InputConfigRequest {
    void* buffer;
    std::uint16_t size;
};

struct MultiInputConfig {
    std::uint16_t channelCount;
    std::uint16_t startChannel;
    std::uint16_t* gainCodes;
};
static_assert(offsetof(MultiInputConfig, startChannel) == 2);
static_assert(offsetof(MultiInputConfig, gainCodes) == 8);

struct MultiInputRead {
    std::uint16_t channelCount;
    std::uint16_t startChannel;
    std::uint16_t* gainCodes;
    std::uint16_t triggerMode;
    float* voltages;
};
static_assert(offsetof(MultiInputRead, gainCodes) == 8);
static_assert(offsetof(MultiInputRead, triggerMode) == 16);
static_assert(offsetof(MultiInputRead, voltages) == 24);

struct AnalogOutput {
    std::uint16_t channel;
    float voltage;
};
static_assert(sizeof(AnalogOutput) == 8);
static_assert(offsetof(AnalogOutput, voltage) == 4);

int DRV_DeviceOpen(std::uint32_t deviceNumber, std::int32_t* handle);
int DRV_DeviceClose(std::int32_t* handle);
int DRV_DeviceGetFeatures(std::int32_t handle, DeviceFeaturesRequest* request);
int DRV_AIGetConfig(std::int32_t handle, InputConfigRequest* request);
int DRV_MAIConfig(std::int32_t handle, MultiInputConfig* config);
int DRV_MAIVoltageIn(std::int32_t handle, MultiInputRead* read);

// While synchronous output is on, DRV_AOVoltageOut only latches a channel's
// value and DRV_WriteSyncAO puts all latched values out together.
int DRV_EnableSyncAO(std::int32_t handle, int enable);
int DRV_AOVoltageOut(std::int32_t handle, AnalogOutput* output);
int DRV_WriteSyncAO(std::int32_t handle);
