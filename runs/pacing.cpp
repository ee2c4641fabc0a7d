#include "runs/pacing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace runs {

SamplePacer::SamplePacer(int capacity, double periodMs)
    : periodMs_(periodMs),
      starts_(static_cast<std::size_t>(std::max(capacity, 0))),
      workMs_(static_cast<std::size_t>(std::max(capacity, 0))) {
    if (!QueryPerformanceFrequency(&frequency_)) {
        frequency_.QuadPart = 0;
        LARGE_INTEGER probe;
        if (!QueryPerformanceCounter(&probe)) {
            std::printf("no go counter not installed");
        }
    }
}

double SamplePacer::MillisecondsBetween(std::int64_t from, std::int64_t to) const {
    // The 64-bit difference, converted in extended precision.
    return static_cast<double>(static_cast<long double>(to - from) /
                               static_cast<long double>(frequency_.QuadPart) * 1000.0L);
}

void SamplePacer::StartSample() {
    QueryPerformanceCounter(&start_);
    if (static_cast<std::size_t>(samples_) < starts_.size()) {
        starts_[static_cast<std::size_t>(samples_)] = start_.QuadPart;
    }
    ++samples_;
}

double SamplePacer::WorkMs() const {
    if (frequency_.QuadPart <= 0) {
        return 0.0;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return MillisecondsBetween(start_.QuadPart, now.QuadPart);
}

void SamplePacer::WaitForPeriodEnd() {
    if (frequency_.QuadPart <= 0) {
        return;
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::size_t sample = static_cast<std::size_t>(samples_ - 1);
    if (sample < workMs_.size()) {
        workMs_[sample] = static_cast<float>(MillisecondsBetween(start_.QuadPart, now.QuadPart));
    }
    while (MillisecondsBetween(start_.QuadPart, now.QuadPart) < periodMs_) {
        QueryPerformanceCounter(&now);
    }
}

double SamplePacer::RecordedWorkMs(int sample) const {
    const auto index = static_cast<std::size_t>(sample);
    return sample >= 0 && index < workMs_.size() ? double{workMs_[index]} : 0.0;
}

SampleTiming SamplePacer::Timing() const {
    SampleTiming timing;
    timing.samples = samples_;
    const std::size_t timed = std::min(static_cast<std::size_t>(samples_), starts_.size());
    if (timed == 0 || frequency_.QuadPart <= 0) {
        return timing;
    }
    for (std::size_t k = 0; k < timed; ++k) {
        timing.longestWorkMs = std::max(timing.longestWorkMs, double{workMs_[k]});
        if (workMs_[k] > periodMs_) {
            ++timing.samplesOver20Ms;
        }
    }
    std::vector<double> lateness;
    lateness.reserve(timed);
    for (std::size_t k = 1; k < timed; ++k) {
        const double period = MillisecondsBetween(starts_[k - 1], starts_[k]);
        lateness.push_back(std::max(period - periodMs_, 0.0));
    }
    if (!lateness.empty()) {
        std::sort(lateness.begin(), lateness.end());
        timing.worstLatenessMs = lateness.back();
        const auto rank = static_cast<std::size_t>(std::ceil(0.99 * double(lateness.size())));
        timing.p99LatenessMs = lateness[std::max<std::size_t>(rank, 1) - 1];
    }
    timing.driftMs =
        MillisecondsBetween(starts_[0], starts_[timed - 1]) - double(timed - 1) * periodMs_;
    return timing;
}

}  // namespace runs
