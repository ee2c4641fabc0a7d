// The 20 ms sample clock on the virtual performance counter.
#include "runs/pacing.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace {

constexpr std::int64_t kMs = 1'000'000;

TEST(SamplePacer, PacesFromEachStartAndTimesEverySample) {
    platform::VirtualClockScope clock;
    runs::SamplePacer pacer(8);
    const std::int64_t workNs[] = {3 * kMs, 25 * kMs, 0, 19 * kMs, 1 * kMs};
    std::int64_t starts[5];
    for (int k = 0; k < 5; ++k) {
        starts[k] = platform::NowNanoseconds();
        pacer.StartSample();
        platform::AdvanceVirtualClock(workNs[k]);
        EXPECT_NEAR(pacer.WorkMs(), double(workNs[k]) / kMs, 0.05);
        pacer.WaitForPeriodEnd();
    }
    // A sample lasts 20 ms, or its work when that took longer.
    for (int k = 1; k < 5; ++k) {
        const double periodMs = double(starts[k] - starts[k - 1]) / kMs;
        EXPECT_NEAR(periodMs, k == 2 ? 25.0 : 20.0, 0.05) << "sample " << k;
    }
    for (int k = 0; k < 5; ++k) {
        EXPECT_NEAR(pacer.RecordedWorkMs(k), double(workNs[k]) / kMs, 0.05) << "sample " << k;
    }
    const runs::SampleTiming timing = pacer.Timing();
    EXPECT_EQ(timing.samples, 5);
    EXPECT_EQ(timing.samplesOver20Ms, 1);
    EXPECT_NEAR(timing.longestWorkMs, 25.0, 0.05);
    EXPECT_NEAR(timing.worstLatenessMs, 5.0, 0.05);
    EXPECT_NEAR(timing.p99LatenessMs, 5.0, 0.05);  // one of four intervals
    EXPECT_NEAR(timing.driftMs, 5.0, 0.1);
}

TEST(SamplePacer, SamplesBeyondItsCapacityArePacedButNotTimed) {
    platform::VirtualClockScope clock;
    runs::SamplePacer pacer(2);
    for (int k = 0; k < 4; ++k) {
        const std::int64_t start = platform::NowNanoseconds();
        pacer.StartSample();
        platform::AdvanceVirtualClock(k == 3 ? 30 * kMs : 0);
        pacer.WaitForPeriodEnd();
        EXPECT_GE(platform::NowNanoseconds() - start, 20 * kMs);
    }
    const runs::SampleTiming timing = pacer.Timing();
    EXPECT_EQ(timing.samples, 4);
    EXPECT_EQ(timing.samplesOver20Ms, 0);  // the long fourth sample was not timed
    EXPECT_EQ(pacer.RecordedWorkMs(3), 0.0);
    EXPECT_LT(timing.worstLatenessMs, 0.1);
}

}  // namespace
