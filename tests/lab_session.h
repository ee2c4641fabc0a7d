// Test start state shared by the card, lab and scene tests: the virtual lab
// at its home pose with the motion card and both data-acquisition devices
// open, as the console leaves them after start-up.
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
