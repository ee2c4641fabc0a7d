#include "experiments/experiment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "arm/arm.h"
#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "platform/stdio_file.h"

namespace experiments {

namespace {

constexpr const char* kChannelNames[kChannelCount] = {"valve1", "valve2", "valve3", "valve4",
                                                      "motor1", "motor2", "motor3", "servo1",
                                                      "servo2", "servo3"};
constexpr int kFirstMotor = kValveChannels;
constexpr int kFirstServo = kValveChannels + kMotorChannels;

int ChannelNamed(std::string_view name) {
    for (int channel = 0; channel < kChannelCount; ++channel) {
        if (name == kChannelNames[channel]) {
            return channel;
        }
    }
    return -1;
}

// A whole word as a finite number.
bool ReadNumber(const std::string& word, double& value) {
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return !word.empty() && *end == '\0' && std::isfinite(value);
}

// One schedule line's breakpoint, or what is wrong with it. `previous` is
// the channel's last breakpoint so far, or nullptr.
std::string ReadBreakpoint(const std::vector<std::string>& words, const Breakpoint* previous,
                           Breakpoint& point) {
    if (words.size() < 3 || words.size() > 4) {
        return "expected TIME_MS CHANNEL VALUE [ramp], found " + std::to_string(words.size()) +
               " words";
    }
    if (!ReadNumber(words[0], point.timeMs) || point.timeMs < 0.0 || point.timeMs > kLongestMs) {
        return "time '" + words[0] + "' is not a number of ms from 0 to 600000";
    }
    point.channel = ChannelNamed(words[1]);
    if (point.channel < 0) {
        return "channel '" + words[1] +
               "' is not one of valve1 .. valve4, motor1 .. motor3, servo1 .. servo3";
    }
    if (point.channel >= kFirstServo) {
        if (words[2] != "on" && words[2] != "off") {
            return words[1] + " value '" + words[2] + "' is not on or off";
        }
        point.value = words[2] == "on" ? 1.0 : 0.0;
    } else if (!ReadNumber(words[2], point.value)) {
        return words[1] + " value '" + words[2] + "' is not a number of volts";
    }
    point.ramp = words.size() == 4;
    if (point.ramp && words[3] != "ramp") {
        return "'" + words[3] + "' after the value is not ramp";
    }
    if (point.ramp && (previous == nullptr || point.channel >= kFirstServo)) {
        return point.channel >= kFirstServo ? "a servo cannot ramp"
                                            : "ramp needs an earlier breakpoint of " + words[1];
    }
    if (previous != nullptr && point.timeMs < previous->timeMs) {
        return "time " + words[0] + " comes before the previous breakpoint of " + words[1];
    }
    return "";
}

// Where each channel stands in its breakpoints as time goes on.
class Cursor {
  public:
    Cursor(const Schedule& schedule, int channel) {
        for (const Breakpoint& point : schedule.breakpoints) {
            if (point.channel == channel) {
                points_.push_back(point);
            }
        }
    }

    // The channel's value at `timeMs` (times only grow); false before its
    // first breakpoint.
    bool ValueAt(double timeMs, double& value) {
        while (next_ < points_.size() && points_[next_].timeMs <= timeMs) {
            ++next_;
        }
        if (next_ == 0) {
            return false;
        }
        const Breakpoint& from = points_[next_ - 1];
        value = from.value;
        if (next_ < points_.size() && points_[next_].ramp) {
            const Breakpoint& to = points_[next_];
            value += (to.value - from.value) * (timeMs - from.timeMs) / (to.timeMs - from.timeMs);
        }
        return true;
    }

  private:
    std::vector<Breakpoint> points_;
    std::size_t next_ = 0;
};

// One recorded period.
struct Line {
    std::int64_t timeMs;
    float valves[kValveChannels];
    float motors[kMotorChannels];
    float pressures[arm::kMuscleCount];
    std::int32_t counts[arm::kEncoderChannelCount];
};

bool WriteRecording(const std::string& path, const std::vector<Line>& lines) {
    platform::StdioFile file(std::fopen(path.c_str(), "w"));
    if (!file) {
        return false;
    }
    bool written = std::fprintf(file.get(), "%s\n", kRecordingHeader) > 0;
    for (const Line& l : lines) {
        const double joint =
            double(std::int64_t(l.counts[3]) - l.counts[4]) / arm::kMuscleJointCountsPerDegree;
        written =
            written &&
            std::fprintf(file.get(),
                         "%lld\t%.4f\t%.4f\t%.4f\t%.4f\t%.4f\t%.4f\t%.4f\t%.6f\t%.6f\t%.6f\t"
                         "%.6f\t%d\t%d\t%d\t%d\t%d\t%.3f\n",
                         static_cast<long long>(l.timeMs), l.valves[0], l.valves[1], l.valves[2],
                         l.valves[3], l.motors[0], l.motors[1], l.motors[2], l.pressures[0],
                         l.pressures[1], l.pressures[2], l.pressures[3], l.counts[0], l.counts[1],
                         l.counts[2], l.counts[3], l.counts[4], joint) > 0;
    }
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace

std::string ParseSchedule(const std::string& text, Schedule& schedule) {
    Schedule read;
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        std::istringstream words(line.substr(0, line.find('#')));
        std::vector<std::string> split;
        for (std::string word; words >> word;) {
            split.push_back(word);
        }
        if (split.empty()) {
            continue;
        }
        const int channel = split.size() >= 2 ? ChannelNamed(split[1]) : -1;
        const Breakpoint* previous = nullptr;
        for (const Breakpoint& point : read.breakpoints) {
            if (point.channel == channel) {
                previous = &point;
            }
        }
        Breakpoint point{};
        if (std::string wrong = ReadBreakpoint(split, previous, point); !wrong.empty()) {
            return "line " + std::to_string(number) + ": " + wrong;
        }
        read.breakpoints.push_back(point);
        read.lastMs = std::max(read.lastMs, point.timeMs);
    }
    if (read.breakpoints.empty()) {
        return "no breakpoints";
    }
    schedule = std::move(read);
    return "";
}

ExperimentResult RunExperiment(const Schedule& schedule, const Settings& settings,
                               runs::Redraw redraw) {
    const double endMs = settings.durationMs >= 0.0 ? settings.durationMs : schedule.lastMs;
    const auto periods = static_cast<std::size_t>(std::floor(endMs / settings.periodMs)) + 1;
    std::vector<Cursor> cursors;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        cursors.emplace_back(schedule, channel);
    }
    std::vector<Line> lines;
    lines.reserve(periods);
    runs::SamplePacer pacer(static_cast<int>(periods), settings.periodMs);

    float valves[kValveChannels];
    std::copy(ValveVoltages, ValveVoltages + kValveChannels, valves);
    float motors[kMotorChannels] = {};
    bool motorDriven[kMotorChannels] = {};
    int servo[kMotorChannels] = {-1, -1, -1};  // -1: as the arm had it

    ExperimentResult result;
    result.end = runs::RunEnd::kCompleted;
    for (std::size_t k = 0; k < periods; ++k) {
        // Every period: no allocation, no file, no output of its own.
        if (const std::optional<runs::RunEnd> stop = runs::CheckStops()) {
            result.end = *stop;
            break;
        }
        pacer.StartSample();
        const double t = static_cast<double>(k) * settings.periodMs;
        double value = 0.0;
        for (int axis = 0; axis < kMotorChannels; ++axis) {
            if (cursors[kFirstServo + axis].ValueAt(t, value) && int(value) != servo[axis]) {
                servo[axis] = int(value);
                if (servo[axis] == 1) {
                    MotorAxes[axis].ServoOn();
                } else {
                    MotorAxes[axis].ServoOff();
                }
            }
            if (cursors[kFirstMotor + axis].ValueAt(t, value)) {
                motorDriven[axis] = true;
                if (MotorAxes[axis].SetVoltage(static_cast<float>(value))) {
                    motors[axis] = static_cast<float>(value);
                }
            }
        }
        bool valveDriven = false;
        float command[kValveChannels];
        std::copy(valves, valves + kValveChannels, command);
        for (int muscle = 0; muscle < kValveChannels; ++muscle) {
            if (cursors[muscle].ValueAt(t, value)) {
                command[muscle] = static_cast<float>(value);
                valveDriven = true;
            }
        }
        if (valveDriven && WriteValveVoltages(command)) {
            std::copy(command, command + kValveChannels, valves);
        }

        float pressures[arm::kPressureChannelCount];
        ReadPressures(pressures);
        ReadEncoderCounts();
        Line& line = lines.emplace_back();
        line.timeMs = static_cast<std::int64_t>(std::llround(t));
        std::copy(valves, valves + kValveChannels, line.valves);
        std::copy(motors, motors + kMotorChannels, line.motors);
        std::copy(pressures, pressures + arm::kMuscleCount, line.pressures);
        std::copy(EncoderCounts, EncoderCounts + arm::kEncoderChannelCount, line.counts);
        if (redraw != nullptr) {
            redraw();
        }
        pacer.WaitForPeriodEnd();
    }
    result.timing = pacer.Timing();

    for (int axis = 0; axis < kMotorChannels; ++axis) {
        if (motorDriven[axis]) {
            MotorAxes[axis].SetVoltage(0.0f);
        }
        MotorAxes[axis].ServoOff();
    }
    result.recordingWritten = WriteRecording(settings.recording, lines);
    return result;
}

}  // namespace experiments
