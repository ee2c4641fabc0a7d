#include "training/excitation.h"

#include <cmath>

#include "arm/arm.h"

namespace training {

namespace {

// Angular steps per sample of the sine segments, as the recorded data were
// made with (the first is not pi/100; the second is twice the first).
constexpr double kMotorSineStep = 0.031459;
constexpr double kFastMotorSineStep = 0.062918;
constexpr double kValveSineStep = 0.015707963267945;

// Adds rate * step to each command.
void Ramp(float (&v)[arm::kMotorCount], double rate0, double rate1, double rate2) {
    const double s = kStep;
    v[0] = static_cast<float>(v[0] + rate0 * s);
    v[1] = static_cast<float>(v[1] + rate1 * s);
    v[2] = static_cast<float>(v[2] + rate2 * s);
}

void Set(float (&v)[arm::kMotorCount], double v0, double v1, double v2) {
    v[0] = static_cast<float>(v0);
    v[1] = static_cast<float>(v1);
    v[2] = static_cast<float>(v2);
}

}  // namespace

void AdvanceMotorCommands(int i, float (&v)[arm::kMotorCount]) {
    const double s = kStep;
    // s^2 d^2 of a parabolic segment that starts on `first`.
    const auto parabola = [&](int first) {
        const double d = i - first;
        return s * s * d * d;
    };
    const auto sine = [&](int origin, double step) { return std::sin((i - origin) * step); };

    if (i <= 50) {
        Ramp(v, 1, 1, 1.5);
    } else if (i <= 150) {
        Ramp(v, -1, -1, -1.5);
    } else if (i <= 200) {
        Ramp(v, 1, 1, 1.5);
    } else if (i <= 250) {
        Ramp(v, -1, -1, -1.5);
    } else if (i <= 350) {
        Ramp(v, 1, 1, 1.5);
    } else if (i <= 400) {
        Ramp(v, -1, -1, -1.5);
    } else if (i <= 600) {
        const double w = sine(401, kMotorSineStep);
        Set(v, w, 0.8 * w, 0.8 * w);
    } else if (i <= 800) {
        const double w = sine(601, kMotorSineStep);
        Set(v, w, -0.8 * w, -0.8 * w);
    } else if (i <= 850) {
        const double p = parabola(801);
        Set(v, p, p, 1.5 * p);
    } else if (i <= 900) {
        const double p = parabola(851);
        Set(v, 1 - p, 1 - p, 1.5 - 1.5 * p);
    } else if (i <= 950) {
        const double p = parabola(901);
        Set(v, -p, -p, -1.5 * p);
    } else if (i <= 1000) {
        const double p = parabola(951);
        Set(v, p - 1, p - 1, (p - 1.5) * 1.5);
    } else if (i <= 1050) {
        const double p = parabola(1001);
        Set(v, -p, -p, -1.5 * p);
    } else if (i <= 1100) {
        const double p = parabola(1051);
        Set(v, p - 1, p - 1, (p - 1.5) * 1.5);
    } else if (i <= 1150) {
        const double p = parabola(1101);
        Set(v, p, p, 1.5 * p);
    } else if (i <= 1200) {
        const double p = parabola(1151);
        Set(v, 1 - p, 1 - p, (1.5 - p) * 1.5);
    } else if (i <= 1250) {
        Ramp(v, 1, 1, -1.5);
    } else if (i <= 1350) {
        Ramp(v, -1, -1, 1.0);
    } else if (i <= 1400) {
        Ramp(v, 1, 1, -1.5);
    } else if (i <= 1450) {
        Ramp(v, -1, -1, 1.5);
    } else if (i <= 1550) {
        Ramp(v, 1, 1, -1.5);
    } else if (i <= 1600) {
        Ramp(v, -1, -1, 1.5);
    } else if (i <= 2000) {
        const double w = sine(1601, kMotorSineStep);
        Set(v, 0.6 * w, 0.6 * w, -0.6 * w);
    } else if (i <= 2050) {
        const double p = parabola(2001);
        Set(v, 0.6 * p, 0.6 * p, -0.6 * p);
    } else if (i <= 2100) {
        const double p = parabola(2051);
        Set(v, 0.6 - 0.6 * p, 0.6 - 0.6 * p, -0.6 * (1 - p));
    } else if (i <= 2150) {
        const double p = parabola(2101);
        Set(v, -0.6 * p, -0.6 * p, 0.6 * p);
    } else if (i <= 2200) {
        const double p = parabola(2151);
        Set(v, 0.6 * p - 0.6, 0.6 * p - 0.6, -0.6 * (p - 1));
    } else if (i <= 2250) {
        const double p = parabola(2201);
        Set(v, -0.6 * p, -0.6 * p, 0.6 * p);
    } else if (i <= 2300) {
        const double p = parabola(2251);
        Set(v, 0.6 * p - 0.6, 0.6 * p - 0.6, -0.6 * (p - 1));
    } else if (i <= 2350) {
        const double p = parabola(2301);
        Set(v, 0.6 * p, 0.6 * p, -0.6 * p);
    } else if (i <= 2400) {
        const double p = parabola(2351);
        Set(v, 0.6 - p, 0.6 - p, p - 0.6);
    } else {
        // Four half-waves of one sine, each 100 samples, alternating sign.
        const double w = sine(2400, kFastMotorSineStep);
        const double sign = ((i - 2401) / 100) % 2 == 0 ? 1.0 : -1.0;
        Set(v, sign * 0.6 * w, sign * 0.6 * w, sign * 3 * w);
    }
}

float NextValveCommand(int q, float v, float reference) {
    const double s = kStep;
    if (q <= 100) {
        return static_cast<float>(v + s);
    }
    if (q <= 400) {
        return static_cast<float>(v - s / 3);
    }
    if (q <= 600) {
        return static_cast<float>(reference + std::sin((q - 400) * kValveSineStep));
    }
    if (q <= 800) {
        return q % 10 == 1 ? static_cast<float>(v + 0.1) : v;
    }
    if (q <= 1000) {
        return q % 10 == 1 ? static_cast<float>(v - 0.1) : v;
    }
    if (q <= 1100) {
        return static_cast<float>(v + s);
    }
    return static_cast<float>(v - s);
}

DesiredPressures MakeDesiredPressures(const float (&start)[arm::kMuscleCount], int m) {
    // Radians per sample of the three waves.
    constexpr double a = 0.08975979010254286;
    constexpr double b = 0.0392699081698625;
    constexpr double c = 0.03141592653589;
    // Signs of the waves per muscle: the first part mixes a fast small and a
    // slow large wave, the second part is one medium wave.
    constexpr double fastSign[arm::kMuscleCount] = {1, -1, 1, -1};
    constexpr double slowSign[arm::kMuscleCount] = {1, -1, -1, 1};
    constexpr double mediumSign[arm::kMuscleCount] = {1, -1, -1, 1};

    const int entries = m + 1;
    const int h = 2 * m / 4;
    DesiredPressures sequences;
    for (int k = 0; k < arm::kMuscleCount; ++k) {
        std::vector<float>& d = sequences.pressure[k];
        std::vector<float>& slope = sequences.slope[k];
        d.assign(entries, 0.0f);
        slope.assign(entries, 0.0f);
        d[0] = start[k];
        for (int j = 1; j < entries; ++j) {
            const double q = start[k];
            if (j <= h) {
                d[j] = static_cast<float>(q + fastSign[k] * 0.05 * std::sin(a * j) +
                                          slowSign[k] * 0.5 * std::sin(b * j));
            } else {
                d[j] = static_cast<float>(q + mediumSign[k] * 0.6 * std::sin(c * j));
            }
            slope[j] =
                static_cast<float>((static_cast<double>(d[j]) - d[j - 1]) / arm::kSamplePeriodMs);
        }
    }
    return sequences;
}

void StillAxes::Observe(const std::int32_t (&moved)[arm::kMotorCount]) {
    for (int k = 0; k < arm::kMotorCount; ++k) {
        still_[k] = still_[k] || moved[k] == 0;
    }
}

float CalibratedCommand(int axis, float command, std::int32_t moved) {
    const double divisor = axis == 2 ? 8 : 10;
    return static_cast<float>(command + moved * (-0.0001) / divisor);
}

}  // namespace training
