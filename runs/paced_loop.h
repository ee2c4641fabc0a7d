// The sample loop every run and procedure goes through: before each sample
// the stop checks and the loop's own end test, then the sample's work, the
// caller's redraw and the pacing; the timing of the samples is kept for
// after the loop. Nothing here allocates, opens a file or prints once the
// loop has been built.
#pragma once

#include <optional>

#include "runs/pacing.h"
#include "runs/runs.h"

namespace runs {

// How a loop keeps its period.
enum class Pacing {
    // The counter is read at the start of the sample and polled at its end
    // until a period has passed: the control runs and most procedures.
    kFromSampleStart,
    // Sleep for a period after the work, so a sample lasts a period plus its
    // work; no counter is read.
    kSleepAfterWork,
    // Sleep for a period before the work; no counter is read.
    kSleepBeforeWork,
};

// Which test comes first before a sample.
enum class EndTest {
    kBeforeStops,  // the loop's own end test, then the stops
    kAfterStops,   // the stops, then the loop's own end test
};

class PacedLoop {
  public:
    // Room for the timing of `capacity` samples counted over every Run of
    // this loop (only kFromSampleStart times them). The counter check of
    // SamplePacer happens here, before the loop.
    explicit PacedLoop(int capacity, Pacing pacing = Pacing::kFromSampleStart,
                       EndTest order = EndTest::kBeforeStops, double periodMs = kSamplePeriodMs)
        : pacing_(pacing), order_(order), periodMs_(periodMs), pacer_(capacity, periodMs) {}

    // Runs samples i = 0, 1, ... while `more(i)` holds and no stop is found:
    // `work(i)`, then `redraw` when there is one, then the wait. Returns why
    // the loop ended (kCompleted when `more` said no) and the samples run.
    struct Outcome {
        RunEnd end = RunEnd::kCompleted;
        int samples = 0;
    };
    template <typename More, typename Work>
    Outcome Run(More more, Work work, Redraw redraw = nullptr) {
        Outcome outcome;
        for (int& i = outcome.samples;; ++i) {
            if (order_ == EndTest::kBeforeStops && !more(i)) {
                return outcome;
            }
            if (const std::optional<RunEnd> stop = CheckStops()) {
                outcome.end = *stop;
                return outcome;
            }
            if (order_ == EndTest::kAfterStops && !more(i)) {
                return outcome;
            }
            StartSample();
            work(i);
            if (redraw != nullptr) {
                redraw();
            }
            EndSample();
        }
    }

    // After the loop: the work time of timed sample `sample` over all Runs
    // (0 when not timed), and the summary of all of them.
    double RecordedWorkMs(int sample) const { return pacer_.RecordedWorkMs(sample); }
    SampleTiming Timing() const { return pacer_.Timing(); }

  private:
    void StartSample();
    void EndSample();

    Pacing pacing_;
    EndTest order_;
    double periodMs_;
    SamplePacer pacer_;
};

}  // namespace runs
