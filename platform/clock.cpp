#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace {

bool virtualMode = false;
std::int64_t virtualNow = 0;

std::int64_t RealNow() {
    using namespace std::chrono;
    static const steady_clock::time_point origin = steady_clock::now();
    return duration_cast<nanoseconds>(steady_clock::now() - origin).count();
}

// A query on the virtual clock costs a little virtual time, as a real poll does.
std::int64_t PolledNow() {
    if (virtualMode) {
        virtualNow += platform::kVirtualPollCostNanoseconds;
        return virtualNow;
    }
    return RealNow();
}

}  // namespace

void Sleep(unsigned long milliseconds) {
    const std::int64_t duration = static_cast<std::int64_t>(milliseconds) * 1'000'000;
    if (virtualMode) {
        virtualNow += duration;
        return;
    }
    std::this_thread::sleep_for(std::chrono::nanoseconds(duration));
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = platform::kCounterFrequency;
    return 1;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    count->QuadPart = PolledNow();
    return 1;
}

namespace platform {

long clock() {
    return static_cast<long>(PolledNow() / 1'000'000);
}

std::int64_t NowNanoseconds() {
    return virtualMode ? virtualNow : RealNow();
}

void UseVirtualClock() {
    // The virtual clock resumes where it stopped (0 at program start), so a
    // simulation's timing never depends on how long the process has been up.
    virtualMode = true;
}

void UseRealClock() {
    virtualMode = false;
}

bool IsVirtualClock() {
    return virtualMode;
}

void AdvanceVirtualClock(std::int64_t nanoseconds) {
    if (virtualMode && nanoseconds > 0) {
        virtualNow += nanoseconds;
    }
}

VirtualClockScope::VirtualClockScope() : wasVirtual_(virtualMode) {
    UseVirtualClock();
}

VirtualClockScope::~VirtualClockScope() {
    if (!wasVirtual_) {
        UseRealClock();
    }
}

}  // namespace platform
