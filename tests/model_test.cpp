#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/fuzzy_supervisor.h"
#include "model/ponnet_model.h"
#include "runfiles/catalogue.h"
#include "tests/lab_files.h"

namespace {

using labtest::IdentifyingNetwork;
using labtest::Network;

std::string Prefix(const labtest::CaseDirectory& dir) {
    return dir.weights.string() + "/";
}

float Predict(PonnetModel& model, float angle, float flag, int binOffset) {
    float input[PonnetModel::kInputSize] = {angle};
    input[PonnetModel::kInputs] = flag;
    float output = -1;
    model.Evaluate(input, &output, binOffset);
    return output;
}

TEST(PonnetModel, ChoosesBinFromAngleAndOffset) {
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WriteWeightSet(dir.weights, IdentifyingNetwork);
    PonnetModel model(1, Prefix(dir));
    ASSERT_TRUE(model.LoadWeights());

    const float flag = 0.0f;  // set f for muscle 1
    EXPECT_EQ(Predict(model, 0.0f, flag, 0), 18);
    EXPECT_EQ(Predict(model, 3.999f, flag, 0), 18);
    EXPECT_EQ(Predict(model, -0.001f, flag, 0), 17);
    EXPECT_EQ(Predict(model, -4.0f, flag, 0), 16);
    EXPECT_EQ(Predict(model, 71.9f, flag, 0), 35);
    EXPECT_EQ(Predict(model, 200.0f, flag, 0), 35);
    EXPECT_EQ(Predict(model, -200.0f, flag, 0), 0);
    EXPECT_EQ(Predict(model, -72.0f, flag, 0), 0);
    EXPECT_EQ(Predict(model, 5.0f, flag, -1), 18);
    EXPECT_EQ(Predict(model, 5.0f, flag, +1), 20);
    EXPECT_EQ(Predict(model, -200.0f, flag, -1), 0);
    EXPECT_EQ(Predict(model, 200.0f, flag, +1), 35);
    EXPECT_EQ(Predict(model, 1e30f, flag, 0), 35);
}

TEST(PonnetModel, ChoosesSetFromDirectionAndMuscle) {
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WriteWeightSet(dir.weights, IdentifyingNetwork);
    for (int muscle = 1; muscle <= 4; ++muscle) {
        PonnetModel model(muscle, Prefix(dir));
        ASSERT_TRUE(model.LoadWeights());
        const bool risingUsesB = muscle == 1 || muscle == 4;
        EXPECT_EQ(Predict(model, 0.0f, 1.0f, 0), risingUsesB ? 118 : 18) << muscle;
        EXPECT_EQ(Predict(model, 0.0f, 0.0f, 0), risingUsesB ? 18 : 118) << muscle;
        EXPECT_EQ(Predict(model, 0.0f, 0.5f, 0), 18) << muscle;
    }
}

TEST(PonnetModel, ZeroAndUnitWeightNetworks) {
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WriteWeightSet(dir.weights, [](int, int set, int) {
        Network network{};
        if (set == 1) {
            network[0] = network[1] = network[2] = 1.0f;
        }
        return network;
    });
    PonnetModel model(2, Prefix(dir));
    ASSERT_TRUE(model.LoadWeights());
    EXPECT_EQ(Predict(model, 10.0f, 1.0f, 0), 0.0f);  // muscle 2 rising: set f, all zero
    EXPECT_EQ(Predict(model, 10.0f, 0.0f, 0), 6.0f);  // set b: 4 * (0.5 + 0.5 + 0.5)
}

// The network of the row layout, evaluated in long double from the raw rows.
double Reference(const Network& rows, const float* input) {
    constexpr double offset[14] = {0, 0, 3, 2, 2.5, 6, 7, 120, 0.04, 0.025, 0.25, 2, 1, 60};
    constexpr double divisor[14] = {90, 90, 5, 4, 5, 16, 17, 200, 0.08, 0.06, 0.5, 4, 2, 160};
    long double sum = rows[3];
    for (int j = 0; j < 3; ++j) {
        long double u = rows[46 + j];
        for (int q = 0; q < 14; ++q) {
            u += (input[q] + offset[q]) / divisor[q] * rows[4 + 14 * j + q];
        }
        sum += rows[j] / (1 + std::exp(-u));
    }
    return double(4 * sum);
}

TEST(PonnetModel, EvaluatesTheRowLayout) {
    const auto dir = labtest::MakeCaseDirectory();
    std::mt19937 engine(5);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    Network network;
    for (float& value : network) {
        value = std::round(uniform(engine) * 1e4f) / 1e4f;
    }
    labtest::WriteWeightSet(dir.weights, [&](int, int, int) { return network; });
    PonnetModel model(3, Prefix(dir));
    ASSERT_TRUE(model.LoadWeights());

    float input[PonnetModel::kInputSize];
    for (float& value : input) {
        value = uniform(engine);
    }
    input[0] = 12.5f;
    float output = 0;
    model.Evaluate(input, &output, 0);
    EXPECT_NEAR(output, Reference(network, input), 1e-5);
}

TEST(PonnetModel, HiddenSumIsStoredAsFloatAfterEveryAddition) {
    // Hidden bias -16 and input weights so small that each product is below
    // half a 32-bit step of the sum: added one at a time to the stored sum
    // they all vanish, whereas a sum kept in double would move by 3e-6 and
    // change the (nearly exponential) activation far beyond its rounding.
    const auto dir = labtest::MakeCaseDirectory();
    Network network{};
    network[0] = 1.0f;
    for (int q = 0; q < 14; ++q) {
        network[4 + q] = 4.76e-7f;
    }
    network[46] = -16.0f;
    labtest::WriteWeightSet(dir.weights, [&](int, int, int) { return network; });
    PonnetModel model(1, Prefix(dir));
    ASSERT_TRUE(model.LoadWeights());
    EXPECT_EQ(Predict(model, 0.0f, 0.0f, 0), 4.0f * float(1.0 / (1.0 + std::exp(16.0))));
}

TEST(PonnetModel, ReportsMissingAndShortFiles) {
    // Bin 16 holds the angles from -8 degrees, bin 18 those from 0.
    EXPECT_EQ(PonnetModel::WeightFileName(3, 16, 1), runfiles::PonnetWeightFileName(3, -8, 1));
    EXPECT_EQ(PonnetModel::WeightFileName(1, 18, 0), runfiles::PonnetWeightFileName(1, 0, 0));
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WriteWeightSet(dir.weights, IdentifyingNetwork);
    std::filesystem::remove(dir.weights / runfiles::PonnetWeightFileName(3, -8, 1));
    labtest::WriteText(dir.weights / runfiles::PonnetWeightFileName(4, -72, 0), "1\n2\n");

    PonnetModel complete(1, Prefix(dir));
    EXPECT_TRUE(complete.LoadWeights());

    testing::internal::CaptureStdout();
    PonnetModel missing(3, Prefix(dir));
    EXPECT_FALSE(missing.LoadWeights());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "weights.txt dosyasi olusturulamadi\n");
    EXPECT_FALSE(missing.IsLoaded());
    // Angles in (-8, -4) use label -8; muscle 3 falling uses set b.
    EXPECT_EQ(Predict(missing, -5.0f, 0.0f, 0), 0.0f) << "missing parameters stay zero";
    EXPECT_EQ(Predict(missing, -5.0f, 1.0f, 0), 16.0f);

    testing::internal::CaptureStdout();
    PonnetModel shortFile(4, Prefix(dir));
    EXPECT_FALSE(shortFile.LoadWeights());
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  runfiles::PonnetWeightFileName(4, -72, 0) + ": 2 of 49 weights read"),
              std::string::npos);

    std::filesystem::remove(dir.weights / runfiles::PonnetWeightFileName(2, -72, 0));
    testing::internal::CaptureStdout();
    PonnetModel missingF(2, Prefix(dir));
    EXPECT_FALSE(missingF.LoadWeights());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "aaa dosyasi olusturulamadi\n");

    // "%f" reads nan; such a network would predict nan for every sample.
    std::string weights = "1\n2\nnan\n";
    for (int row = 3; row < 49; ++row) {
        weights += "0.5\n";
    }
    labtest::WriteText(dir.weights / runfiles::PonnetWeightFileName(1, -72, 1), weights);
    testing::internal::CaptureStdout();
    PonnetModel notFinite(1, Prefix(dir));
    EXPECT_FALSE(notFinite.LoadWeights());
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  runfiles::PonnetWeightFileName(1, -72, 1) + ": weight 3 is not a finite number"),
              std::string::npos);
}

TEST(PonnetModel, RejectsMissingOrForeignGeneralWeights) {
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WriteWeightSet(dir.weights, IdentifyingNetwork);
    const std::string general = runfiles::kPonnetGeneralWeights.Name();
    std::filesystem::remove(dir.weights / general);
    testing::internal::CaptureStdout();
    PonnetModel missing(1, Prefix(dir));
    EXPECT_FALSE(missing.LoadWeights());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Dosya Ac\375lmad\375 " + general + "\n");

    // Larger counts would read past a network's 49 parameters; the model
    // keeps the fixed layout and reports the file.
    labtest::WriteText(dir.weights / general, "8\n0.1\n0.9\n1\n30\n");
    testing::internal::CaptureStdout();
    PonnetModel foreign(1, Prefix(dir));
    EXPECT_FALSE(foreign.LoadWeights());
    EXPECT_NE(testing::internal::GetCapturedStdout().find(general), std::string::npos);
    EXPECT_EQ(Predict(foreign, 0.0f, 0.0f, 0), 18.0f);
}

// The hybrid run's vector, K0..K9.
constexpr float kHybrid[10] = {0.1489f, 0.602f,  0.2659f, 0.0067f, 0.5735f,
                               0.5266f, 0.6143f, 0.1722f, 0.8195f, 0.5964f};

TEST(FuzzySupervisor, HybridRunVectorAcrossTheBin) {
    EXPECT_NEAR(fuzzy::BlendWeight(0.0f, kHybrid), 0.5639, 5e-5);
    EXPECT_NEAR(fuzzy::BlendWeight(1.0f, kHybrid), 0.7866, 5e-5);
    EXPECT_NEAR(fuzzy::BlendWeight(1.8f, kHybrid), 0.8195, 5e-5);
    EXPECT_NEAR(fuzzy::BlendWeight(3.0f, kHybrid), 0.7397, 5e-5);
    EXPECT_NEAR(fuzzy::BlendWeight(3.9f, kHybrid), 0.1500, 5e-5);
    for (float phase = 0.0f; phase < 4.0f; phase += 0.01f) {
        const float w = fuzzy::BlendWeight(phase, kHybrid);
        EXPECT_GE(w, 0.1489f);
        EXPECT_LE(w, 0.8195f);
    }
}

TEST(FuzzySupervisor, RegionsOfTheSchedulingValue) {
    float k[10] = {0.1f, 1, 0.3f, 1, 0.5f, 1, 0.7f, 1, 0.9f, 1};
    // Deep in the dip below lo only rule 5 fires.
    EXPECT_FLOAT_EQ(fuzzy::BlendWeight(1.7f, k), 0.9f);
    EXPECT_FLOAT_EQ(fuzzy::BlendWeight(1.9f, k), 0.9f);
    // At phase 0 rules 2 and 3 share the weight.
    const float w0 = fuzzy::BlendWeight(0.0f, k);
    EXPECT_GT(w0, 0.3f);
    EXPECT_LT(w0, 0.5f);
    // Silencing rule 5 (hedge 0 or 2) in its own region leaves no weight:
    // the bins are blended evenly rather than dividing by zero.
    for (float hedge : {0.0f, 2.0f}) {
        k[9] = hedge;
        EXPECT_EQ(fuzzy::BlendWeight(1.8f, k), 0.5f);
    }
    const float zeros[10] = {};
    EXPECT_EQ(fuzzy::BlendWeight(0.0f, zeros), 0.5f);
}

TEST(FuzzySupervisor, MembershipBoundariesAndHedges) {
    const float lo = fuzzy::kLow, hi = fuzzy::kHigh;
    const float mid = (hi + lo) / 2, q1 = (mid + lo) / 2, q3 = (mid + hi) / 2;
    // g = q1 exactly: rules 1 and 5 at full strength, rule 2 silent.
    EXPECT_EQ(fuzzy::Triangle(q1, lo, mid, q1), 1.0f);
    EXPECT_EQ(fuzzy::LowShoulder(q1, q1, mid), 1.0f);
    EXPECT_EQ(fuzzy::Triangle(q1, q1, q3, mid), 0.0f);
    EXPECT_NEAR(fuzzy::Triangle((q3 + mid) / 2, q1, q3, mid), 0.5f, 1e-5);
    EXPECT_EQ(fuzzy::HighShoulder(hi, q3, hi), 1.0f);
    EXPECT_NEAR(fuzzy::HighShoulder((q3 + hi) / 2, q3, hi), 0.5f, 1e-5);

    EXPECT_FLOAT_EQ(fuzzy::Consequent(0.4f, 0.7f, 1.0f).weight, 0.4f);
    EXPECT_EQ(fuzzy::Consequent(0.4f, 0.7f, 2.0f).weight, 0.0f);
    EXPECT_LT(fuzzy::Consequent(0.4f, 0.7f, 3.0f).weight, 0.0f);
}

}  // namespace
