// Test start state shared by the card, lab, run and scene tests: the
// virtual lab at its home pose with the motion card and both
// data-acquisition devices open, as the console leaves them after start-up.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "lab/plant_parameters.h"
#include "platform/clock.h"
#include "tests/lab_cards.h"

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

// How far the console's homing may leave motor axis `axis` off the home
// pose, in counts of its encoder. While the elbow homes (at 0.7 V, from
// wherever it starts between its switches) the carriage and the shoulder
// stand at a zero command and creep on their residual offsets; from one end
// of the elbow's range to the other that creep lasts longer by the elbow's
// travel time between its switches, and their switches sit in the middle of
// the spread, placed to about a count. The elbow itself ends within 0.01
// degree.
inline double HomingToleranceCounts(int axis) {
    const lab::plant::Parameters& plant = lab::plant::BuiltIn();
    if (axis == 2) {
        return 0.01 * lab::plant::kJointCountsPerDegree;
    }
    const auto speed = [&plant](int moving, double volts) {
        return plant.axes[moving].countsPerSecondPerVolt *
               (std::fabs(volts) - plant.RunningLossVolts(moving));
    };
    const lab::plant::AxisParameters& elbow = plant.axes[2];
    const double elbowSpreadSeconds =
        (elbow.upperSwitch - elbow.lowerSwitch) / speed(2, 0.7 - elbow.residualOffsetVolts);
    return speed(axis, plant.axes[axis].residualOffsetVolts) * elbowSpreadSeconds / 2.0 + 1.0;
}
