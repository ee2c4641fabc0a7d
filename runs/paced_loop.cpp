#include "runs/paced_loop.h"

#include "platform/clock.h"

namespace runs {

void PacedLoop::StartSample() {
    switch (pacing_) {
        case Pacing::kFromSampleStart:
            pacer_.StartSample();
            break;
        case Pacing::kSleepBeforeWork:
            Sleep(static_cast<unsigned long>(periodMs_));
            break;
        case Pacing::kSleepAfterWork:
            break;
    }
}

void PacedLoop::EndSample() {
    switch (pacing_) {
        case Pacing::kFromSampleStart:
            pacer_.WaitForPeriodEnd();
            break;
        case Pacing::kSleepAfterWork:
            Sleep(static_cast<unsigned long>(periodMs_));
            break;
        case Pacing::kSleepBeforeWork:
            break;
    }
}

}  // namespace runs
