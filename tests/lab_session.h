// Test start state shared by the card, lab, run and scene tests: the
// virtual lab at its home pose with the motion card and both
// data-acquisition devices open, as the console leaves them after start-up.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "platform/clock.h"

inline void ResetLabWithCardsOpen() {
    lab::Reset();
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
}

// The names of the journalled library calls, in call order.
inline std::vector<std::string> JournalFunctions() {
    std::vector<std::string> names;
    for (const lab::Call& call : lab::Journal()) {
        names.emplace_back(call.function);
    }
    return names;
}

// Cards open, on the virtual clock.
class LabSessionTest : public testing::Test {
  protected:
    void SetUp() override { ResetLabWithCardsOpen(); }
    void TearDown() override { lab::Reset(); }

    platform::VirtualClockScope clock_;
};

// The same with the journal on.
class JournalledLabTest : public LabSessionTest {
  protected:
    void SetUp() override {
        LabSessionTest::SetUp();
        lab::EnableJournal(true);
    }
    void TearDown() override {
        lab::EnableJournal(false);
        LabSessionTest::TearDown();
    }
};
