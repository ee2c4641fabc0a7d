// The motion-card library as the console calls it: the records it
// takes and the functions it exports. Every function returns 0 on success.
// The trailing `board` argument selects the card; the console always has one.
//
// The library documents no meanings the console relies on for the record
// fields, so they are named by their byte offset.
#pragma once

#include <cstddef>
#include <cstdint>

struct MachineParameters {
    std::int16_t word0;
    std::int16_t word2;
    std::int32_t long4;
    double real8;
    double real16;
    double real24;
    double real32;
    double real40;
    double real48;
    std::int16_t word56;
    std::int16_t word58;
    std::int16_t word60;
    std::int16_t word62;
    std::int16_t word64;
    std::int16_t word66;
    std::uint8_t reserved68[4];
};
static_assert(sizeof(MachineParameters) == 72);
static_assert(offsetof(MachineParameters, long4) == 4);
static_assert(offsetof(MachineParameters, real8) == 8);
static_assert(offsetof(MachineParameters, real48) == 48);
static_assert(offsetof(MachineParameters, word56) == 56);
static_assert(offsetof(MachineParameters, word66) == 66);
static_assert(offsetof(MachineParameters, reserved68) == 68);

struct HomeConfiguration {
    std::int16_t word0;
    std::int16_t word2;
    std::int16_t word4;
    std::uint8_t reserved6[2];
    std::int32_t long8;
    std::uint8_t reserved12[4];
    double real16;
    double real24;
    double real32;
    double real40;
};
static_assert(sizeof(HomeConfiguration) == 48);
static_assert(offsetof(HomeConfiguration, word4) == 4);
static_assert(offsetof(HomeConfiguration, long8) == 8);
static_assert(offsetof(HomeConfiguration, real16) == 16);
static_assert(offsetof(HomeConfiguration, real40) == 40);

struct EncoderConfiguration {
    std::int16_t words[6];
};
static_assert(sizeof(EncoderConfiguration) == 12);

struct GroupConfiguration {
    std::int32_t words[576];
};
static_assert(sizeof(GroupConfiguration) == 576 * 4);

// Configuration, accepted before EP_InitSystem.
int EP_SetMacParam(MachineParameters* parameters, short axis, short board);
int EP_SetHomeConfig(HomeConfiguration* configuration, short axis, short board);
int EP_SetEncoderConfig(EncoderConfiguration* configuration, short axis, short board);
int EP_SetGroupConfig(GroupConfiguration* configuration);
int EP_SetSysMaxSpeed(double speed);

// System start and release.
int EP_InitSystem(short axisCount);
int EP_CloseSystem();
int EP_SetDACClockDivider(short divider, short board);
int EP_StartDACConv(short board);
int EP_StopDACConv(short board);

// Axis outputs.
int EP_SetServoOn(short on, short axis, short board);
int EP_SetDACOutput(float volts, short axis, short board);
int EP_AbortMotion(short board);
int EP_EnableLimitCheck(short enable, short board);

// Inputs.
int EP_GetENCCounter(std::int32_t* count, short channel, short board);
int EP_ClearENCCounter(short channel, short board);
int EP_GetLimitStatus(short* state, short limitSwitch, short axis, short board);
int EP_GetEmgcStopStatus(short* state, short board);
