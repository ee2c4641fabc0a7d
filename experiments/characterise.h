// The plant's data sheet: a standard set of open-loop experiments and the
// figures measured from their recordings alone, so that the same figures
// come out of a real arm.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace experiments {

// One measured figure of the data sheet, beside what the built-in plant is
// meant to show ("-" where nothing is asked) and where that comes from.
struct Figure {
    std::string name;
    double value;
    std::string unit;
    std::string target = "-";
    std::string source;
};

struct Characterisation {
    std::vector<Figure> figures;
    // Empty when every experiment ran to its end and was recorded, else
    // which one did not and why.
    std::string failure;
};

// "FIGURE could not be measured" for the first figure that is not a finite
// number (a plant that never crosses a threshold, a joint that does not
// move); empty when every figure was measured.
std::string UnmeasuredFigure(const std::vector<Figure>& figures);

// Runs, one after the other on the homed arm, with each recording written
// into `dir`:
// - valve steps: muscle 1 by 0.25 V and by 6 V, up and down, the others held;
// - the dead band: muscle 1's valve ramped slowly from 0 to 2 V;
// - differential sweeps: valves 1 and 4 up and 2 and 3 down by 0.5 V around
//   the homing references and back, at 0.01 Hz and at 0.05 Hz;
// - motor steps of 0.5 mV to 1 V each way on every axis;
// - the arm's motion: the valves at the homing references while the
//   shoulder and elbow follow `sineVelocities` (counts per ms of axes 0 to
//   2, one row per 20 ms, as the sine trajectory gives them), driven with
//   the speed per volt the motor steps measured;
// and measures the figures: pressure rise and fall times (10-90 %) and
// their ratios, the valves' dead band and gain, the joint's static gain,
// the width of its up/down loop and the muscles' pressure gap between the
// branches at each rate, the swing the arm's motion causes, each motor's
// breakaway voltage both ways and speed per volt, the pressure readings'
// resolution and noise.
Characterisation Characterise(const std::string& dir,
                              const std::vector<std::array<float, 3>>& sineVelocities);

// The joint's rest angle, degrees of the recording's joint column, after
// the valves have held the homing references for 4 s; recorded into
// DIR/NAME.txt. NaN, and `failure` says why, when the experiment did not
// run to its end.
double RestAngleAtReferences(const std::string& dir, const char* name, std::string& failure);

// A joint step up and back down with every muscle's pressure moving the
// same way (valves 1 and 4 by 1 V, 2 and 3 by 0.05 V, from the homing
// references; 2 s each), recorded into DIR/joint-steps.txt: the ratio of the
// joint's damping ratios on the way up (all muscles inflating) and on the
// way down (all deflating), from the areas by which the joint lags its
// steps beyond the differential pressure's own lag. NaN, and `failure` says
// why, when the experiment did not run to its end.
double JointStepDampingRatio(const std::string& dir, std::string& failure);

// The figures as one table under a header line, a line per figure:
// name, measured value and unit, target, source.
std::string DataSheet(const Characterisation& characterisation);

}  // namespace experiments
