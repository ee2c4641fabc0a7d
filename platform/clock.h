// One program-wide clock behind the kernel timing services the console and
// the evaluator call. It runs on real time by default; tests and fast
// simulations switch it to a virtual clock on which sleeps and busy waits
// cost no wall time.
#pragma once

#include <cstdint>

// Windows-compatible timing calls.
union LARGE_INTEGER {
    std::int64_t QuadPart;
};
using BOOL = int;

void Sleep(unsigned long milliseconds);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);

namespace platform {

// The C run-time clock as the console's busy waits use it: 1000 ticks a second.
constexpr long kClockTicksPerSecond = 1000;
long clock();

// Performance-counter ticks per second, real or virtual.
constexpr std::int64_t kCounterFrequency = 1'000'000'000;

// Time on the program clock, in nanoseconds since an arbitrary fixed origin.
std::int64_t NowNanoseconds();

// On the virtual clock, time moves only when the program sleeps or polls:
// every Sleep advances it by the requested time, every counter or clock
// query by kVirtualPollCost, so that busy waits end after a bounded number
// of polls.
constexpr std::int64_t kVirtualPollCostNanoseconds = 10'000;

void UseVirtualClock();
void UseRealClock();
bool IsVirtualClock();

// Moves the virtual clock forward (ignored on real time).
void AdvanceVirtualClock(std::int64_t nanoseconds);

// Switches to the virtual clock for the lifetime of the object and back to
// the previous clock afterwards; tests use it.
class VirtualClockScope {
  public:
    VirtualClockScope();
    ~VirtualClockScope();
    VirtualClockScope(const VirtualClockScope&) = delete;
    VirtualClockScope& operator=(const VirtualClockScope&) = delete;

  private:
    bool wasVirtual_;
};

}  // namespace platform
