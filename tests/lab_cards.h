// The virtual lab at its home pose with the motion card and both
// data-acquisition devices open, as the console leaves them after start-up:
// the start state of the tests and benchmarks that drive the arm.
#pragma once

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"

inline void ResetLabWithCardsOpen() {
    lab::Reset();
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
}
