// The 20 ms sample clock on the virtual performance counter, and the paced
// loop of the runs and procedures on the virtual lab.
#include "runs/pacing.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "runs/paced_loop.h"
#include "tests/lab_session.h"

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

// Where each sample's work began on the virtual clock, for a loop of
// `samples` whose work takes `workNs`.
std::vector<std::int64_t> WorkStarts(runs::PacedLoop& loop, int samples, std::int64_t workNs) {
    std::vector<std::int64_t> starts;
    loop.Run([samples](int i) { return i < samples; },
             [&](int) {
                 starts.push_back(platform::NowNanoseconds());
                 platform::AdvanceVirtualClock(workNs);
             });
    return starts;
}

TEST(PacedLoop, EachPacingKeepsItsOwnPeriod) {
    platform::VirtualClockScope clock;
    ResetLabWithCardsOpen();
    // From the sample's start: 20 ms whatever the work (the counter's polls
    // and the stop checks' card calls cost a little virtual time).
    runs::PacedLoop paced(4);
    std::vector<std::int64_t> starts = WorkStarts(paced, 4, 3 * kMs);
    ASSERT_EQ(starts.size(), 4u);
    EXPECT_NEAR(double(starts[3] - starts[0]) / kMs, 60.0, 0.5);
    EXPECT_EQ(paced.Timing().samples, 4);
    EXPECT_NEAR(paced.RecordedWorkMs(2), 3.0, 0.05);

    // A sleep after the work: the work's time adds to the period, and the
    // counter is never read.
    runs::PacedLoop after(0, runs::Pacing::kSleepAfterWork);
    const std::int64_t afterBegin = platform::NowNanoseconds();
    starts = WorkStarts(after, 3, 3 * kMs);
    EXPECT_LT(starts[0] - afterBegin, kMs);
    EXPECT_NEAR(double(starts[1] - starts[0]) / kMs, 23.0, 0.1);
    EXPECT_NEAR(double(starts[2] - starts[1]) / kMs, 23.0, 0.1);
    EXPECT_EQ(after.Timing().samples, 0);

    // A sleep before the work, here of a second: the first work waits too.
    runs::PacedLoop before(0, runs::Pacing::kSleepBeforeWork, runs::EndTest::kBeforeStops, 1000.0);
    const std::int64_t begin = platform::NowNanoseconds();
    starts = WorkStarts(before, 2, 0);
    EXPECT_NEAR(double(starts[0] - begin) / kMs, 1000.0, 0.1);
    EXPECT_NEAR(double(starts[1] - starts[0]) / kMs, 1000.0, 0.1);
    lab::Reset();
}

TEST(PacedLoop, AStopEndsItBeforeTheNextSampleAndTheOrderDecidesAtTheEnd) {
    platform::VirtualClockScope clock;
    ResetLabWithCardsOpen();
    int redraws = 0;
    static int* redrawCount = nullptr;
    redrawCount = &redraws;
    const runs::Redraw redraw = [] { ++*redrawCount; };

    // Pressed during sample 2: sample 3 never starts.
    runs::PacedLoop stopped(10);
    const runs::PacedLoop::Outcome early = stopped.Run([](int i) { return i < 10; },
                                                       [](int i) {
                                                           if (i == 2) {
                                                               lab::PressEmergencyStop();
                                                           }
                                                       },
                                                       redraw);
    EXPECT_EQ(early.end, runs::RunEnd::kEmergencyStop);
    EXPECT_EQ(early.samples, 3);
    EXPECT_EQ(redraws, 3);

    // Pressed during the last sample: a loop that tests its end first has
    // completed; one that checks the stops first ends as a stop.
    for (const runs::EndTest order : {runs::EndTest::kBeforeStops, runs::EndTest::kAfterStops}) {
        ResetLabWithCardsOpen();
        runs::PacedLoop loop(4, runs::Pacing::kFromSampleStart, order);
        const runs::PacedLoop::Outcome last = loop.Run([](int i) { return i < 4; },
                                                       [](int i) {
                                                           if (i == 3) {
                                                               lab::PressEmergencyStop();
                                                           }
                                                       });
        EXPECT_EQ(last.samples, 4);
        EXPECT_EQ(last.end, order == runs::EndTest::kBeforeStops ? runs::RunEnd::kCompleted
                                                                 : runs::RunEnd::kEmergencyStop);
    }
    lab::Reset();
}

}  // namespace
