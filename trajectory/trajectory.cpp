#include "trajectory/trajectory.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "arm/arm.h"
#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"
#include "platform/stdio_text.h"
#include "runfiles/run_files.h"
#include "runfiles/trajectory_terms.h"

namespace {

// Lengths in millimetres, times in milliseconds, angles in radians.
constexpr double kUpperLink = arm::kUpperLinkMm;
constexpr double kLowerLink = arm::kLowerLinkMm;
constexpr double kCarriageTravel = 800.0;
constexpr double kCarriageSpeed = 30.0;  // per second
constexpr double kSamplePeriod = runfiles::kSamplePeriodMs;
// The base transformation maps the wave point (0, w, 0) to the arm-plane
// point (417.28 - w, 491.8098); w = 0 is the home pose.
constexpr double kBaseX = 417.28;
constexpr double kBaseY = 491.8098;

constexpr int kMotionMilliseconds = int(kCarriageTravel / kCarriageSpeed * 1000);
constexpr int kSamples = int(kMotionMilliseconds / kSamplePeriod);
static_assert(kSamples == 1333);
// Waves and joint angles exist for samples 0 to n - 2.
constexpr int kSolvedSamples = kSamples - 1;

struct JointAngles {
    double th1;  // the muscle-driven joint that keeps the tool's orientation
    double th2;  // shoulder
    double th3;  // elbow
};

double CarriageCount(int sample) {
    return kCarriageSpeed / 1000 * arm::kCarriageCountsPerMm * kSamplePeriod * sample;
}

double Degrees(double radians) {
    return radians / arm::kPi * 180;
}

// Tool displacement per sample. The blocks run in the order step, sine, ramp,
// so a later selected wave overwrites an earlier one; step and ramp share one
// running value held in single precision.
std::vector<double> WaveValues(bool sine, bool ramp, bool step, float amplitude, float frequency) {
    std::vector<double> wave(kSolvedSamples, 0.0);
    float running = 0.0f;
    for (int i = 0; i < kSolvedSamples; ++i) {
        if (step) {
            if (i <= 150) {
                running = 0.0f;
            } else if ((190 < i && i <= 200) || (390 < i && i <= 400) || (590 < i && i <= 600)) {
                running += 4.0;
            } else if ((790 < i && i <= 800) || (990 < i && i < 1000) || (1190 < i && i < 1200)) {
                running -= 4.0;
            }
            wave[i] = running;
        }
        if (sine) {
            wave[i] = amplitude * std::sin(arm::kTwoPi * frequency * kSamplePeriod * i / 1000);
        }
        if (ramp) {
            const bool rising = i <= 150 || (450 < i && i <= 750) || i > 1050;
            running += rising ? 0.7 : -0.7;
            wave[i] = running;
        }
    }
    return wave;
}

// Elbow-up solution of the planar shoulder-elbow arm for the tool point of
// wave value w. An unreachable point is reported and computed on with
// s = sqrt(|1 - c^2|), so every sample still gets its angles.
JointAngles SolveArm(double w) {
    const double x = kBaseX - w;
    const double y = kBaseY;
    const double r2 = x * x + y * y;
    const double c3 =
        (r2 - kUpperLink * kUpperLink - kLowerLink * kLowerLink) / (2 * kUpperLink * kLowerLink);
    const double s3 = std::sqrt(std::fabs(1 - c3 * c3));
    if (c3 < -1 || c3 > 1) {
        std::printf("Infesible Solution for Cos tetha 3\n");
    }
    const double th3 = std::atan2(s3, c3);
    const double s2 = ((kUpperLink + kLowerLink * std::cos(th3)) * y - kLowerLink * s3 * x) / r2;
    const double c2 = ((kUpperLink + kLowerLink * c3) * x + kLowerLink * s3 * y) / r2;
    if (c2 < -1 || c2 > 1) {
        std::printf("Infesible Solution for Cos tetha 2\n");
    }
    const double th2 = std::atan2(s2, c2);
    return {arm::kHalfPi - th2 - th3, th2, th3};
}

constexpr const char* kThreeColumnFormat = "%f\t\t%f\t\t%f\n";

void WriteThreeColumns(std::FILE* file, double first, double second, double third) {
    const double values[3] = {first, second, third};
    platform::WriteLine(file, kThreeColumnFormat, values);
}

// Opens `path` for writing, lets `writeLines` fill it and closes it. A file
// that cannot be opened is reported and skipped. True when the file was
// written and closed without error (a full disk shows at the latest when
// the buffer is flushed on closing).
template <typename WriteLines>
bool WriteFile(const char* path, WriteLines writeLines) {
    platform::StdioFile file(std::fopen(path, "w"));
    if (!file) {
        std::fputs(messages::kNotOpened, stdout);
        return false;
    }
    writeLines(file.get());
    const bool written = !std::ferror(file.get());
    return std::fclose(file.release()) == 0 && written;
}

// First and second differences of the joint angles over the sample grid:
// rates in rad/s and accelerations in rad/s^2 centred on sample i + 1.
struct Rates {
    float w2, w3;
    float a1, a2, a3;
};

std::vector<Rates> DifferenceRates(const std::vector<JointAngles>& th) {
    using runfiles::SampleAcceleration;
    using runfiles::SampleRate;
    std::vector<Rates> rates(kSamples - 3);
    for (int i = 0; i < kSamples - 3; ++i) {
        const JointAngles& a = th[i];
        const JointAngles& b = th[i + 1];
        const JointAngles& c = th[i + 2];
        rates[i] = {SampleRate(b.th2, a.th2), SampleRate(b.th3, a.th3),
                    SampleAcceleration(c.th1, b.th1, a.th1),
                    SampleAcceleration(c.th2, b.th2, a.th2),
                    SampleAcceleration(c.th3, b.th3, a.th3)};
    }
    return rates;
}

// The dynamic terms of sample k; the accelerations centred on k are those
// of difference k - 1. The sum angle of encoders 3 and 4 stays 0 here, and
// so does its second difference.
runfiles::TrajectoryTerms DynamicTerms(const JointAngles& th, const Rates& atK,
                                       const Rates& centredOnK) {
    return runfiles::DynamicTerms({
        th.th1,
        th.th2,
        th.th3,
        0.0,
        atK.w2,
        atK.w3,
        centredOnK.a1,
        centredOnK.a2,
        centredOnK.a3,
        0.0f,
    });
}

}  // namespace

bool GenerateTrajectory(int* sine, int* ramp, int* step, float* amplitude, float* frequency,
                        std::vector<std::string>* unwritten) {
    const bool anyWave = *sine || *ramp || *step;
    const std::vector<double> wave = WaveValues(*sine, *ramp, *step, *amplitude, *frequency);

    std::vector<JointAngles> th(kSolvedSamples);
    for (int i = 0; i < kSolvedSamples; ++i) {
        th[i] = SolveArm(wave[i]);
    }

    const bool velocitiesWritten = WriteFile(kVelocityTrajectoryFile, [&](std::FILE* file) {
        for (int i = 0; i < kSamples - 2; ++i) {
            const double carriage =
                anyWave ? (CarriageCount(i + 1) - CarriageCount(i)) / kSamplePeriod : 0.0;
            const double shoulder = (Degrees(th[i + 1].th2) - Degrees(th[i].th2)) *
                                    arm::kJointCountsPerRevolution / 360 / kSamplePeriod;
            const double elbow = (Degrees(th[i + 1].th3) - Degrees(th[i].th3)) *
                                 arm::kJointCountsPerRevolution / 360 / kSamplePeriod;
            WriteThreeColumns(file, carriage, shoulder, elbow);
        }
    });

    const bool countsWritten = WriteFile(kEncoderTrajectoryFile, [&](std::FILE* file) {
        for (int i = 0; i < kSolvedSamples; ++i) {
            WriteThreeColumns(file, CarriageCount(i),
                              (Degrees(th[i].th2) - arm::kShoulderDegreesAtZero) *
                                  arm::kJointCountsPerRevolution / 360,
                              (Degrees(th[i].th3) - arm::kElbowDegreesAtZero) *
                                  arm::kJointCountsPerRevolution / 360);
        }
    });

    const std::vector<Rates> rates = DifferenceRates(th);
    const bool termsWritten = WriteFile(kDynamicTermsFile, [&](std::FILE* file) {
        for (int k = 1; k < kSamples - 3; ++k) {
            // The two angles are written unrounded.
            runfiles::WriteTrajectoryLine(file, DynamicTerms(th[k], rates[k], rates[k - 1]).values);
        }
    });

    if (unwritten) {
        for (const auto& [path, written] : {std::pair{kVelocityTrajectoryFile, velocitiesWritten},
                                            std::pair{kEncoderTrajectoryFile, countsWritten},
                                            std::pair{kDynamicTermsFile, termsWritten}}) {
            if (!written) {
                unwritten->push_back(path);
            }
        }
    }
    return velocitiesWritten && countsWritten && termsWritten;
}
