// The 20 ms sample clock of the real-time loops, on the performance counter.
//
// A loop calls StartSample at the top of every sample and WaitForPeriodEnd
// at its bottom; the wait is a busy wait that ends as soon as 20 ms have
// passed since the sample's start, and a sample whose work took longer does
// not wait at all. Both are called in the 20 ms loop: no allocation, no
// file, no output. The timing of every sample is kept in a table sized at
// construction and summed up after the loop.
#pragma once

#include <cstdint>
#include <vector>

#include "arm/arm.h"
#include "platform/clock.h"

namespace runs {

using arm::kSamplePeriodMs;

// How a paced loop kept time, worked out after it.
struct SampleTiming {
    int samples = 0;             // samples started
    double longestWorkMs = 0.0;  // longest time from a sample's start to its wait
    int samplesOver20Ms = 0;     // samples whose work took longer than a period
    // Lateness of a sample's start after the end of the previous sample's
    // period (the grid the pacing keeps): worst and 99th percentile.
    double worstLatenessMs = 0.0;
    double p99LatenessMs = 0.0;
    // Start of the last sample after its place on the fixed 20 ms grid that
    // begins at the first sample's start: lateness accumulated over the run.
    double driftMs = 0.0;
};

class SamplePacer {
  public:
    // Reads the counter frequency. When that fails and a first counter read
    // fails too, prints "no go counter not installed" (no line end) and goes
    // on; without a counter the samples do not wait. Room for the timing of
    // `capacity` samples; later samples are paced but not timed. A sample
    // lasts `periodMs` (the runs' 20 ms unless a loop asks for another).
    explicit SamplePacer(int capacity, double periodMs = kSamplePeriodMs);

    // Top of a sample: reads the counter.
    void StartSample();
    // Milliseconds since StartSample.
    double WorkMs() const;
    // Bottom of a sample: busy-waits until the period has passed since StartSample.
    void WaitForPeriodEnd();

    // After the loop: the work time of timed sample `sample` (0 for one
    // beyond the capacity), and the summary of all of them.
    double RecordedWorkMs(int sample) const;
    SampleTiming Timing() const;

  private:
    double MillisecondsBetween(std::int64_t from, std::int64_t to) const;

    double periodMs_;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
    int samples_ = 0;
    std::vector<std::int64_t> starts_;
    std::vector<float> workMs_;
};

}  // namespace runs
