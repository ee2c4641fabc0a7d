#include "experiments/characterise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "arm/arm.h"
#include "experiments/experiment.h"
#include "experiments/recording.h"
#include "platform/stdio_file.h"

namespace experiments {

namespace {

// Columns of a recording line.
enum Column { kTime = 0, kValve1 = 1, kMotor1 = 5, kPressure1 = 8, kEncoder1 = 12, kJoint = 17 };

using Line = std::array<double, kRecordingColumns>;
using Recording = std::vector<Line>;

// Channels by number, as ParseSchedule numbers them.
constexpr int kMotorChannel = kValveChannels;
constexpr int kServoChannel = kValveChannels + kMotorChannels;

// The homing references of the four valves, V.
constexpr double kReference[kValveChannels] = {5.0, 5.6, 5.6, 5.0};

// A schedule of breakpoints given in each channel's time order.
Schedule Build(std::vector<Breakpoint> breakpoints) {
    Schedule schedule;
    for (const Breakpoint& point : breakpoints) {
        schedule.lastMs = std::max(schedule.lastMs, point.timeMs);
    }
    schedule.breakpoints = std::move(breakpoints);
    return schedule;
}

// Runs one experiment into DIR/NAME.txt and reads its recording back.
bool RunInto(const std::string& dir, const char* name, const Schedule& schedule, double periodMs,
             Recording& recording, std::string& failure) {
    Settings settings;
    settings.periodMs = periodMs;
    settings.recording = (std::filesystem::path(dir) / (std::string(name) + ".txt")).string();
    const ExperimentResult result = RunExperiment(schedule, settings, nullptr);
    if (result.end != runs::RunEnd::kCompleted || !result.recordingWritten) {
        failure = std::string(name) +
                  (result.recordingWritten ? " was stopped early" : " could not be recorded");
        return false;
    }
    const std::optional<std::string> whole = platform::ReadWholeFile(settings.recording, failure);
    if (!whole) {
        return false;
    }
    std::istringstream in(*whole);
    std::string text;
    std::getline(in, text);  // the header
    recording.clear();
    while (std::getline(in, text)) {
        std::istringstream numbers(text);
        Line& line = recording.emplace_back();
        for (double& value : line) {
            numbers >> value;
        }
    }
    return true;
}

double Mean(const Recording& r, int column, double fromMs, double toMs) {
    double sum = 0.0;
    int count = 0;
    for (const Line& line : r) {
        if (line[kTime] >= fromMs && line[kTime] < toMs) {
            sum += line[column];
            ++count;
        }
    }
    return count > 0 ? sum / count : NAN;
}

// First time from `fromMs` on at which `column` reaches `level` (falling
// when `falling`), interpolated between readings.
double Crossing(const Recording& r, int column, double fromMs, double level, bool falling) {
    for (std::size_t i = 1; i < r.size(); ++i) {
        const double a = r[i - 1][column], b = r[i][column];
        if (r[i][kTime] > fromMs && (falling ? b <= level : b >= level)) {
            const double share = b != a ? (level - a) / (b - a) : 1.0;
            return r[i - 1][kTime] + share * (r[i][kTime] - r[i - 1][kTime]);
        }
    }
    return NAN;
}

// 10-90 % time, s, of the step of `column` at `stepMs`, settled by `endMs`.
double TransitionSeconds(const Recording& r, int column, double stepMs, double endMs) {
    const double before = Mean(r, column, stepMs - 100.0, stepMs);
    const double after = Mean(r, column, endMs - 100.0, endMs);
    const bool falling = after < before;
    const double t10 = Crossing(r, column, stepMs, before + 0.1 * (after - before), falling);
    const double t90 = Crossing(r, column, stepMs, before + 0.9 * (after - before), falling);
    return (t90 - t10) / 1000.0;
}

// Least-squares line y = slope x + intercept through the points.
struct Fit {
    double slope = NAN, intercept = NAN;
};
Fit LineThrough(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = double(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    Fit fit;
    const double d = n * sxx - sx * sx;
    if (x.size() >= 2 && d != 0.0) {
        fit.slope = (n * sxy - sx * sy) / d;
        fit.intercept = (sy - fit.slope * sx) / n;
    }
    return fit;
}

double Differential(const Line& line) {
    return line[kPressure1] + line[kPressure1 + 3] - line[kPressure1 + 1] - line[kPressure1 + 2];
}

// The joint angle where the differential pressure passes `level` between
// `fromMs` and `toMs`, interpolated.
double AngleAt(const Recording& r, double level, double fromMs, double toMs) {
    for (std::size_t i = 1; i < r.size(); ++i) {
        if (r[i - 1][kTime] < fromMs || r[i][kTime] > toMs) {
            continue;
        }
        const double a = Differential(r[i - 1]), b = Differential(r[i]);
        if ((a - level) * (b - level) <= 0.0 && a != b) {
            const double share = (level - a) / (b - a);
            return r[i - 1][kJoint] + share * (r[i][kJoint] - r[i - 1][kJoint]);
        }
    }
    return NAN;
}

void HoldValves(std::vector<Breakpoint>& points, double timeMs, const double (&volts)[4]) {
    for (int valve = 0; valve < kValveChannels; ++valve) {
        points.push_back({timeMs, valve, volts[valve], false});
    }
}

// Valve steps of muscle 1, the others at 4 V: small up and down, then large.
void ValveSteps(const std::string& dir, Characterisation& c) {
    std::vector<Breakpoint> points;
    HoldValves(points, 0.0, {4.0, 4.0, 4.0, 4.0});
    for (const auto& [t, v] : {std::pair{1500.0, 4.25},
                               {2500.0, 4.0},
                               {3500.0, 1.0},
                               {5000.0, 7.0},
                               {6500.0, 1.0},
                               {8000.0, 4.0}}) {
        points.push_back({t, 0, v, false});
    }
    Recording r;
    if (!RunInto(dir, "valve-steps", Build(points), 2.0, r, c.failure)) {
        return;
    }
    const int p = kPressure1;
    const char* regulator = "regulator band 0.3 bar [assumed]";
    const char* flow = "ISO 6358 flow, C 0.45, b 0.21";
    const double smallRise = TransitionSeconds(r, p, 1500, 2500);
    const double largeRise = TransitionSeconds(r, p, 5000, 6500);
    const double largeFall = TransitionSeconds(r, p, 6500, 8000);
    c.figures.push_back(
        {"pressure rise time 10-90 %, 0.25 V step", smallRise, "s", "-", regulator});
    c.figures.push_back({"pressure fall time 10-90 %, 0.25 V step",
                         TransitionSeconds(r, p, 2500, 3500), "s", "-", regulator});
    c.figures.push_back({"pressure rise time 10-90 %, 6 V step", largeRise, "s", "-", flow});
    c.figures.push_back({"pressure fall time 10-90 %, 6 V step", largeFall, "s", "-", flow});
    c.figures.push_back({"rise time ratio, 6 V to 0.25 V step", largeRise / smallRise, "", ">= 3",
                         "sheet: flow-limited large steps [D]"});
    c.figures.push_back({"fall to rise time ratio, 6 V step", largeFall / largeRise, "",
                         "2.3 +- 0.3", "sheet step table: exhaust/fill [D]"});
    // Noise: the spread of successive readings while the valves hold still
    // (differences, so that a pressure still settling does not count), over
    // the four muscles.
    double sum = 0.0;
    int count = 0;
    for (std::size_t i = 1; i < r.size(); ++i) {
        if (r[i - 1][kTime] >= 1000.0 && r[i][kTime] < 1500.0) {
            for (int m = 0; m < 4; ++m) {
                const double step = r[i][p + m] - r[i - 1][p + m];
                sum += step * step / 2.0;
                ++count;
            }
        }
    }
    const double noise = std::sqrt(sum / std::max(count, 1));
    c.figures.push_back({"pressure noise (standard deviation)", noise, "bar", "0.005 +- 0.001",
                         "0.05 % of a 10 bar span [assumed]"});
}

// Valve 1 ramped slowly from 0 to 2 V: the dead band and the gain from the
// straight part, the readings' resolution from their smallest step.
void DeadBand(const std::string& dir, Characterisation& c) {
    std::vector<Breakpoint> points;
    HoldValves(points, 0.0, {0.0, 0.0, 0.0, 0.0});
    points.push_back({1000.0, 0, 0.0, false});
    points.push_back({21000.0, 0, 2.0, true});
    Recording r;
    if (!RunInto(dir, "dead-band", Build(points), arm::kSamplePeriodMs, r, c.failure)) {
        return;
    }
    std::vector<double> volts, bar, readings;
    for (const Line& line : r) {
        if (line[kTime] >= 1000.0 && line[kPressure1] >= 0.2 && line[kPressure1] <= 1.0) {
            volts.push_back(line[kValve1]);
            bar.push_back(line[kPressure1]);
        }
        readings.push_back(line[kPressure1]);
    }
    const Fit fit = LineThrough(volts, bar);
    c.figures.push_back({"valve dead band", -fit.intercept / fit.slope, "V", "0.35 +- 0.01",
                         "regulator [assumed]"});
    c.figures.push_back({"valve gain above the dead band", fit.slope, "bar/V", "0.8 +- 0.01",
                         "regulator [assumed]"});
    std::sort(readings.begin(), readings.end());
    double resolution = INFINITY;
    for (std::size_t i = 1; i < readings.size(); ++i) {
        if (readings[i] > readings[i - 1]) {
            resolution = std::min(resolution, readings[i] - readings[i - 1]);
        }
    }
    c.figures.push_back({"pressure reading resolution (smallest step seen)", resolution, "bar", "-",
                         "the recording's 6 decimals"});
}

// The differential pressure where the joint passes `degrees` between
// `fromMs` and `toMs`, interpolated.
double DifferentialAt(const Recording& r, double degrees, double fromMs, double toMs) {
    for (std::size_t i = 1; i < r.size(); ++i) {
        if (r[i - 1][kTime] < fromMs || r[i][kTime] > toMs) {
            continue;
        }
        const double a = r[i - 1][kJoint], b = r[i][kJoint];
        if ((a - degrees) * (b - degrees) <= 0.0 && a != b) {
            const double share = (degrees - a) / (b - a);
            return Differential(r[i - 1]) + share * (Differential(r[i]) - Differential(r[i - 1]));
        }
    }
    return NAN;
}

// Valves 1 and 4 up, 2 and 3 down by 0.5 V around the homing references
// and back, each way in `legMs`. Returns the joint's loop width, degrees.
double Sweep(const std::string& dir, const char* name, double legMs, Characterisation& c) {
    std::vector<Breakpoint> points;
    const double low[4] = {kReference[0] - 0.5, kReference[1] + 0.5, kReference[2] + 0.5,
                           kReference[3] - 0.5};
    const double high[4] = {kReference[0] + 0.5, kReference[1] - 0.5, kReference[2] - 0.5,
                            kReference[3] + 0.5};
    HoldValves(points, 0.0, low);
    HoldValves(points, 2000.0, low);
    for (int valve = 0; valve < kValveChannels; ++valve) {
        points.push_back({2000.0 + legMs, valve, high[valve], true});
        points.push_back({2000.0 + 2 * legMs, valve, low[valve], true});
    }
    Recording r;
    if (!RunInto(dir, name, Build(points), arm::kSamplePeriodMs, r, c.failure)) {
        return NAN;
    }
    std::vector<double> differential, angle;
    double lowest = INFINITY, highest = -INFINITY;
    double lowestAngle = INFINITY, highestAngle = -INFINITY;
    for (const Line& line : r) {
        if (line[kTime] >= 2000.0) {
            differential.push_back(Differential(line));
            angle.push_back(line[kJoint]);
            lowest = std::min(lowest, differential.back());
            highest = std::max(highest, differential.back());
            lowestAngle = std::min(lowestAngle, angle.back());
            highestAngle = std::max(highestAngle, angle.back());
        }
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, ", %g Hz sweep", 1000.0 / (2.0 * legMs));
    c.figures.push_back({std::string("joint static gain") + rate,
                         LineThrough(differential, angle).slope, "deg/bar", "-",
                         "muscle law, pulley and weight"});
    const double middle = (lowest + highest) / 2.0;
    const double up = AngleAt(r, middle, 2000.0, 2000.0 + legMs);
    const double down = AngleAt(r, middle, 2000.0 + legMs, 2000.0 + 2 * legMs);
    const double width = std::fabs(up - down);
    c.figures.push_back({std::string("joint up/down loop width") + rate, width, "deg", "-",
                         "braid friction, and lag growing with the rate"});
    // Per muscle, at the joint angle midway through the swing: the
    // inflating branch's differential pressure less the deflating one's.
    const double middleAngle = (lowestAngle + highestAngle) / 2.0;
    const double gap = (DifferentialAt(r, middleAngle, 2000.0, 2000.0 + legMs) -
                        DifferentialAt(r, middleAngle, 2000.0 + legMs, 2000.0 + 2 * legMs)) /
                       4.0 * 100.0;
    c.figures.push_back({std::string("muscle pressure gap at equal angle") + rate, gap, "kPa",
                         "31.2 +- 6.2", "Hunt et al. 2017: 2 x a6"});
    return width;
}

// Motor steps of 0.5 mV to 1 V each way on every axis; the breakaway
// voltages both ways and the speed per volt. Returns the speeds per volt.
std::array<double, 3> MotorSteps(const std::string& dir, Characterisation& c) {
    constexpr double kMillivolts[] = {0.5, 1, 2, 3, 5, 10, 20, 50, 100, 200, 500, 1000};
    constexpr double kStepMs = 1000.0, kPauseMs = 300.0;
    std::vector<Breakpoint> points;
    double t = 0.0;
    for (int axis = 0; axis < kMotorChannels; ++axis) {
        points.push_back({t, kServoChannel + axis, 1.0, false});
        for (const double mv : kMillivolts) {
            for (const double sign : {1.0, -1.0}) {
                points.push_back({t, kMotorChannel + axis, sign * mv / 1000.0, false});
                points.push_back({t + kStepMs, kMotorChannel + axis, 0.0, false});
                t += kStepMs + kPauseMs;
            }
        }
        points.push_back({t, kServoChannel + axis, 0.0, false});
    }
    std::array<double, 3> speedPerVolt = {NAN, NAN, NAN};
    Recording r;
    if (!RunInto(dir, "motor-steps", Build(points), 5.0, r, c.failure)) {
        return speedPerVolt;
    }
    const char* names[3] = {"carriage", "shoulder", "elbow"};
    constexpr const char* kSpeedTargets[3] = {"2000 +- 3 %", "7000 +- 3 %", "7000 +- 3 %"};
    t = 0.0;
    for (int axis = 0; axis < kMotorChannels; ++axis) {
        double breakaway[2] = {NAN, NAN};
        std::vector<double> volts, speeds;
        for (const double mv : kMillivolts) {
            for (int way = 0; way < 2; ++way) {
                const double sign = way == 0 ? 1.0 : -1.0;
                const int column = kEncoder1 + axis;
                const double from = Mean(r, column, t + 200.0, t + 205.0);
                const double to = Mean(r, column, t + kStepMs - 5.0, t + kStepMs);
                const double moved = to - from;
                if (std::isnan(breakaway[way]) && moved * sign >= 2.0) {
                    breakaway[way] = mv;
                }
                if (mv >= 50.0) {
                    volts.push_back(sign * mv / 1000.0);
                    speeds.push_back(moved / ((kStepMs - 205.0) / 1000.0));
                }
                t += kStepMs + kPauseMs;
            }
        }
        const std::string axisName = std::string(names[axis]) + " motor";
        const char* friction = "residual offset; breakaway 1.35 x Coulomb (LuGre: 1.5)";
        c.figures.push_back({axisName + " breakaway, positive", breakaway[0], "mV", "-", friction});
        c.figures.push_back({axisName + " breakaway, negative", breakaway[1], "mV", "-", friction});
        speedPerVolt[axis] = LineThrough(volts, speeds).slope;
        c.figures.push_back({axisName + " speed per volt", speedPerVolt[axis], "counts/s/V",
                             kSpeedTargets[axis], "velocity loop [assumed]"});
    }
    return speedPerVolt;
}

// The valves at the homing references while the shoulder and elbow follow
// the sine motion: how far the arm's motion swings the joint.
void ArmMotion(const std::string& dir, const std::vector<std::array<float, 3>>& velocities,
               const std::array<double, 3>& speedPerVolt, Characterisation& c) {
    constexpr double kStartMs = 3000.0;
    std::vector<Breakpoint> points;
    HoldValves(points, 0.0, kReference);
    points.push_back({0.0, kServoChannel + 1, 1.0, false});
    points.push_back({0.0, kServoChannel + 2, 1.0, false});
    double t = kStartMs;
    for (const auto& row : velocities) {
        for (int axis = 1; axis < 3; ++axis) {
            points.push_back(
                {t, kMotorChannel + axis, row[axis] * 1000.0 / speedPerVolt[axis], false});
        }
        t += arm::kSamplePeriodMs;
    }
    for (int axis = 1; axis < 3; ++axis) {
        points.push_back({t, kMotorChannel + axis, 0.0, false});
    }
    Recording r;
    if (!RunInto(dir, "arm-motion", Build(points), arm::kSamplePeriodMs, r, c.failure)) {
        return;
    }
    const double rest = Mean(r, kJoint, kStartMs - 500.0, kStartMs);
    double lowest = rest, highest = rest;
    for (const Line& line : r) {
        if (line[kTime] >= kStartMs) {
            lowest = std::min(lowest, line[kJoint]);
            highest = std::max(highest, line[kJoint]);
        }
    }
    const char* motion = "tool weight and the arm's accelerations";
    c.figures.push_back(
        {"joint swing from the arm's motion, below rest", rest - lowest, "deg", "-", motion});
    c.figures.push_back(
        {"joint swing from the arm's motion, above rest", highest - rest, "deg", "-", motion});
}

// The area between a step of `column` at `stepMs` (or of the differential
// pressure, column -1), normalised from its level before to its mean over
// the last 200 ms before `endMs`, and the line it settles on, in s.
double LagArea(const Recording& r, int column, double stepMs, double endMs) {
    const auto value = [column](const Line& line) {
        return column < 0 ? Differential(line) : line[column];
    };
    double before = 0.0, after = 0.0;
    int beforeCount = 0, afterCount = 0;
    for (const Line& line : r) {
        if (line[kTime] >= stepMs - 200.0 && line[kTime] < stepMs) {
            before += value(line);
            ++beforeCount;
        } else if (line[kTime] >= endMs - 200.0 && line[kTime] < endMs) {
            after += value(line);
            ++afterCount;
        }
    }
    before /= std::max(beforeCount, 1);
    after /= std::max(afterCount, 1);
    double area = 0.0;
    for (std::size_t i = 1; i < r.size(); ++i) {
        if (r[i - 1][kTime] >= stepMs && r[i][kTime] <= endMs) {
            const double share = (value(r[i - 1]) - before) / (after - before);
            area += (1.0 - share) * (r[i][kTime] - r[i - 1][kTime]) / 1000.0;
        }
    }
    return area;
}

}  // namespace

Characterisation Characterise(const std::string& dir,
                              const std::vector<std::array<float, 3>>& sineVelocities) {
    Characterisation c;
    ValveSteps(dir, c);
    DeadBand(dir, c);
    const double slow = Sweep(dir, "sweep-slow", 50000.0, c);
    const double fast = Sweep(dir, "sweep-fast", 10000.0, c);
    c.figures.push_back({"loop width ratio, 0.01 Hz to 0.05 Hz sweep", slow / fast, "", ">= 0.5",
                         "rate-independent braid friction (Hunt 2017)"});
    std::array<double, 3> speedPerVolt = MotorSteps(dir, c);
    if (!sineVelocities.empty() && c.failure.empty()) {
        ArmMotion(dir, sineVelocities, speedPerVolt, c);
    }
    return c;
}

double RestAngleAtReferences(const std::string& dir, const char* name, std::string& failure) {
    std::vector<Breakpoint> points;
    HoldValves(points, 0.0, kReference);
    HoldValves(points, 4000.0, kReference);
    Recording r;
    if (!RunInto(dir, name, Build(points), arm::kSamplePeriodMs, r, failure)) {
        return NAN;
    }
    return Mean(r, kJoint, 3500.0, 4001.0);
}

double JointStepDampingRatio(const std::string& dir, std::string& failure) {
    constexpr double kUpMs = 3000.0, kDownMs = 5000.0, kEndMs = 7000.0;
    // Valves 1 and 4 by 1 V, 2 and 3 by 0.05 V (0.04 bar, past the play that
    // decides inflating or deflating): the joint turns by the differential,
    // while every muscle inflates on the way up and deflates on the way down.
    const double up[kValveChannels] = {kReference[0] + 1.0, kReference[1] + 0.05,
                                       kReference[2] + 0.05, kReference[3] + 1.0};
    std::vector<Breakpoint> points;
    HoldValves(points, 0.0, kReference);
    HoldValves(points, kUpMs, up);
    HoldValves(points, kDownMs, kReference);
    HoldValves(points, kEndMs, kReference);
    Recording r;
    if (!RunInto(dir, "joint-steps", Build(points), 5.0, r, failure)) {
        return NAN;
    }
    // A joint that follows its pressures as a second-order system lags its
    // step by the pressures' own lag plus 2 zeta / omega_n, whether it
    // overshoots or not; omega_n is the same both ways (same stiffness and
    // inertia), so what is left is in the ratio of the damping ratios.
    const auto damping = [&r](double stepMs, double endMs) {
        return LagArea(r, kJoint, stepMs, endMs) - LagArea(r, -1, stepMs, endMs);
    };
    return damping(kUpMs, kDownMs) / damping(kDownMs, kEndMs);
}

std::string UnmeasuredFigure(const std::vector<Figure>& figures) {
    for (const Figure& figure : figures) {
        if (!std::isfinite(figure.value)) {
            return "\"" + figure.name + "\" could not be measured";
        }
    }
    return "";
}

std::string DataSheet(const Characterisation& characterisation) {
    char line[256];
    std::snprintf(line, sizeof line, "%-52s %10s %-10s %-15s %s\n", "figure", "measured", "",
                  "target", "source");
    std::string text = line;
    for (const Figure& figure : characterisation.figures) {
        std::snprintf(line, sizeof line, "%-52s %10.4g %-10s %-15s %s\n", figure.name.c_str(),
                      figure.value, figure.unit.c_str(), figure.target.c_str(),
                      figure.source.c_str());
        text += line;
    }
    return text;
}

}  // namespace experiments
