#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

TEST(VirtualClock, SleepsAndBusyWaitsMoveOnlyVirtualTime) {
    platform::VirtualClockScope scope;
    const std::int64_t start = platform::NowNanoseconds();

    Sleep(27'000);
    EXPECT_EQ(platform::NowNanoseconds() - start, 27'000'000'000);

    // A 20 ms busy wait on the performance counter, as the control runs pace.
    LARGE_INTEGER frequency, t0, t1;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    QueryPerformanceCounter(&t0);
    long polls = 0;
    do {
        QueryPerformanceCounter(&t1);
        ++polls;
    } while ((t1.QuadPart - t0.QuadPart) * 1000.0 / frequency.QuadPart < 20.0);
    EXPECT_EQ(polls, 20'000'000 / platform::kVirtualPollCostNanoseconds);

    // A 500-tick busy wait on the run-time clock.
    const long c0 = platform::clock();
    while (platform::clock() - c0 < 500) {
    }
    EXPECT_GE(platform::clock() - c0, 500);
}

TEST(VirtualClock, ScopeRestoresRealTimeAndResumesVirtualTime) {
    ASSERT_FALSE(platform::IsVirtualClock());
    std::int64_t left;
    {
        platform::VirtualClockScope scope;
        Sleep(5);
        left = platform::NowNanoseconds();
    }
    EXPECT_FALSE(platform::IsVirtualClock());
    {
        platform::VirtualClockScope scope;
        EXPECT_EQ(platform::NowNanoseconds(), left);
    }
}

TEST(RealClock, SleepWaitsAndCounterAdvances) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    Sleep(5);
    QueryPerformanceCounter(&t1);
    EXPECT_GE(t1.QuadPart - t0.QuadPart, 5'000'000);
}

}  // namespace
