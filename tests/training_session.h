// Test start state of the training procedures: the virtual lab at its home
// pose with the cards open, the six demo networks and the standard sine
// trajectory (1331 velocity lines) in ./NeuralFiles/, and helpers to read
// the files and the journal.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lab/lab.h"
#include "platform/clock.h"
#include "tests/lab_session.h"
#include "trajectory/trajectory.h"

namespace trainingtest {

inline void PrepareTrainingLab() {
    ResetLabWithCardsOpen();
    std::filesystem::create_directory("NeuralFiles");
    const std::string command = std::string(MAKE_DEMO_NETWORKS) + " --dir . > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int sine = 1, ramp = 0, step = 0;
    float amplitude = 100.0f, frequency = 0.5f;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency));
    testing::internal::GetCapturedStdout();
}

inline std::vector<std::string> Lines(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The numbers of one line, in order.
inline std::vector<double> Numbers(const std::string& line) {
    std::istringstream in(line);
    std::vector<double> numbers;
    for (double x; in >> x;) {
        numbers.push_back(x);
    }
    return numbers;
}

// A velocity line holds the count steps from `now` to `next` per ms of a
// 20 ms sample, for axes 0 to 2, as floats printed with six decimals.
inline void ExpectVelocityLine(const std::string& velocityLine, const std::vector<double>& now,
                               const std::vector<double>& next, std::size_t line) {
    const std::vector<double> v = Numbers(velocityLine);
    ASSERT_EQ(v.size(), 3u) << "line " << line;
    for (int k = 0; k < 3; ++k) {
        const double expected = (next[k] - now[k]) / 20;
        ASSERT_NEAR(v[k], expected, 5.1e-7 + 1.2e-7 * std::fabs(expected))
            << "line " << line << " axis " << k;
    }
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

inline std::string Printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Whether the journal shows a motor or a valve driven: a servo switched on,
// a motor voltage written, or a valve voltage other than 0.
inline bool AnythingDriven() {
    for (const lab::Call& call : lab::Journal()) {
        const std::string function = call.function;
        if (function == "EP_SetServoOn" && call.arguments[0] == 1) {
            return true;
        }
        if (function == "EP_SetDACOutput") {
            return true;
        }
        if (function == "DRV_AOVoltageOut") {
            float volts = 0.0f;
            std::memcpy(&volts, call.record.data() + 4, sizeof volts);
            if (volts != 0.0f) {
                return true;
            }
        }
    }
    return false;
}

// Calls itself once per sample; presses the emergency stop after sample
// `stopAfter` (counted from 0 over the whole procedure).
struct StopAfter {
    static inline int samples = 0;
    static inline int stopAfter = -1;
    static void Reset(int after) {
        samples = 0;
        stopAfter = after;
    }
    static void OnSample() {
        if (samples++ == stopAfter) {
            lab::PressEmergencyStop();
        }
    }
};

}  // namespace trainingtest
