// The plant's data sheet: a standard set of open-loop experiments and the
// figures measured from their recordings alone, so that the same figures
// come out of a real arm.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace experiments {

// One measured figure of the data sheet.
struct Figure {
    std::string name;
    double value;
    std::string unit;
};

struct Characterisation {
    std::vector<Figure> figures;
    // Empty when every experiment ran to its end and was recorded, else
    // which one did not and why.
    std::string failure;
};

// Runs, one after the other on the homed arm, with each recording written
// into `dir`:
// - valve steps: muscle 1 by 0.25 V and by 6 V, up and down, the others held;
// - the dead band: muscle 1's valve ramped slowly from 0 to 2 V;
// - differential sweeps: valves 1 and 4 up and 2 and 3 down by 0.5 V around
//   the homing references and back, over 20 s and over 4 s each way;
// - motor steps of 0.5 mV to 1 V each way on every axis;
// - the arm's motion: the valves at the homing references while the
//   shoulder and elbow follow `sineVelocities` (counts per ms of axes 0 to
//   2, one row per 20 ms, as the sine trajectory gives them), driven with
//   the speed per volt the motor steps measured;
// and measures the figures: pressure rise and fall times (10-90 %), the
// valves' dead band and gain, the joint's static gain and the width of its
// up/down loop at each rate, the swing the arm's motion causes, each motor's
// breakaway voltage both ways and speed per volt, the pressure readings'
// resolution and noise.
Characterisation Characterise(const std::string& dir,
                              const std::vector<std::array<float, 3>>& sineVelocities);

// The figures as one table, a line per figure.
std::string DataSheet(const Characterisation& characterisation);

}  // namespace experiments
