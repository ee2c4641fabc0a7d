#include "networks/networks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "lab/plant_parameters.h"
#include "runfiles/catalogue.h"

namespace {

using networks::AnnetModel;
using networks::DoubleLinkModel;
using networks::NetworkWeights;
using networks::UpperLinkModel;

// Each test writes its weight files into ./NeuralFiles/ of the scratch
// working directory, which starts empty.
class Networks : public testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all("NeuralFiles");
        std::filesystem::create_directory("NeuralFiles");
    }

    static std::string PathOf(const std::string& name) { return "./NeuralFiles/" + name; }

    static void WriteText(const std::string& name, const std::string& text) {
        std::ofstream(PathOf(name), std::ios::binary) << text;
    }

    static void Write(const std::string& name, const NetworkWeights& weights) {
        ASSERT_TRUE(networks::WriteWeightFile(PathOf(name), weights));
    }

    // Loads `model`, returning what it printed.
    template <typename Model>
    static std::string LoadPrinting(Model& model, bool expectLoaded) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(model.LoadWeights(), expectLoaded);
        EXPECT_EQ(model.IsLoaded(), expectLoaded);
        return testing::internal::GetCapturedStdout();
    }
};

float AnnetVolts(const AnnetModel& model, float p0, float p1, float p2, float d1, float d2,
                 float r) {
    float volts = -99.0f;
    model.Evaluate({p0, p1, p2, d1, d2, r}, volts);
    return volts;
}

float UpperVolts(const UpperLinkModel& model, float velocity) {
    float volts = -99.0f;
    model.Evaluate(velocity, volts);
    return volts;
}

TEST_F(Networks, AnnetWithoutHiddenNeuronsGivesEightTimesTheOutputBias) {
    NetworkWeights w = NetworkWeights::Zero(0, 6, 1);
    w.outputBiases[0] = 0.3f;
    Write(runfiles::kValveWeights.Name(3), w);
    AnnetModel model(3);
    EXPECT_EQ(LoadPrinting(model, true), "");
    EXPECT_EQ(AnnetVolts(model, 1, 2, 3, 0.1f, -0.2f, 0.05f), 0.3f * 8);
    EXPECT_EQ(AnnetVolts(model, -7, 0, 99, 5, 5, -1), 0.3f * 8);
}

// Neuron j reads input (j + 1) % 6 with weight 1024, and its bias cancels
// the expected scaled input exactly, so every activation is exactly 0.5 and
// the output is 8 × (0.25 + 6 × 0.5 × 0.125) = 5 only when every input lands
// in its own slot scaled to the last bit: pressures divided by the float 4,
// differences and slope offset and divided in double precision.
TEST_F(Networks, AnnetScalesEachInputIntoItsOwnSlot) {
    const float cases[][6] = {{2.0f, 1.0f, 3.0f, 0.3f, 0.0f, 0.01f},
                              {1.7f, 0.33f, 2.9f, -0.13f, -0.0041f, -0.0041f}};
    for (const auto& in : cases) {
        const float scaled[6] = {in[0] / 4.0f,
                                 in[1] / 4.0f,
                                 in[2] / 4.0f,
                                 float((in[3] + 0.3) / 0.6),
                                 float((in[4] + 0.3) / 0.6),
                                 float((in[5] * 100.0 + 1.0) / 2.0)};
        NetworkWeights w = NetworkWeights::Zero(6, 6, 1);
        for (int j = 0; j < 6; ++j) {
            const int input = (j + 1) % 6;
            w.InputWeight(j, input) = 1024.0f;
            w.hiddenBiases[j] = -1024.0f * scaled[input];
            w.OutputWeight(0, j) = 0.125f;
        }
        w.outputBiases[0] = 0.25f;
        Write(runfiles::kValveWeights.Name(1), w);
        AnnetModel model(1);
        LoadPrinting(model, true);
        EXPECT_EQ(AnnetVolts(model, in[0], in[1], in[2], in[3], in[4], in[5]), 5.0f) << in[0];
        EXPECT_NE(AnnetVolts(model, in[0], in[1], in[2], in[3], in[4], 0.0f), 5.0f) << in[0];
    }
}

TEST_F(Networks, AnnetZeroInputRowLeavesEveryHiddenSumAtItsBias) {
    NetworkWeights w = NetworkWeights::Zero(2, 6, 1);
    for (int i = 0; i < 6; ++i) {
        w.InputWeight(0, i) = w.InputWeight(1, i) = 3.0f;
    }
    w.hiddenBiases = {0.5f, -1.0f};
    w.outputWeights = {1.0f, 2.0f};
    w.outputBiases[0] = 0.1f;
    Write(runfiles::kValveWeights.Name(2), w);
    AnnetModel model(2);
    LoadPrinting(model, true);
    const double expected = 8 * (0.1 + 1 / (1 + std::exp(-0.5)) + 2 / (1 + std::exp(1.0)));
    EXPECT_NEAR(AnnetVolts(model, 0, 0, 0, -0.3f, -0.3f, -0.01f), expected, 1e-5);
}

// Each addition is rounded to a float before the next: three quarter-ulp
// additions leave a sum unchanged, where a sum kept in double precision
// would move by one ulp.
TEST_F(Networks, SumsAreRoundedToFloatAfterEveryAddition) {
    const float quarterUlpOf20 = std::ldexp(1.0f, -21);
    NetworkWeights hidden = NetworkWeights::Zero(1, 6, 1);
    hidden.hiddenBiases = {-20.0f};
    for (int i = 0; i < 3; ++i) {
        hidden.InputWeight(0, i) = quarterUlpOf20;  // inputs 0 to 2 are 4 / 4 = 1
    }
    hidden.outputWeights = {1.0f};
    Write(runfiles::kValveWeights.Name(1), hidden);
    AnnetModel model(1);
    LoadPrinting(model, true);
    EXPECT_EQ(AnnetVolts(model, 4, 4, 4, 0, 0, 0), float(1 / (1 + std::exp(20.0))) * 8);

    const float quarterUlpOf1 = std::ldexp(1.0f, -25);
    NetworkWeights output = NetworkWeights::Zero(3, 6, 1);
    output.hiddenBiases = {100.0f, 100.0f, 100.0f};  // activations of 1
    output.outputWeights = {quarterUlpOf1, quarterUlpOf1, quarterUlpOf1};
    output.outputBiases = {1.0f};
    Write(runfiles::kValveWeights.Name(1), output);
    LoadPrinting(model, true);
    EXPECT_EQ(AnnetVolts(model, 0, 0, 0, 0, 0, 0), 8.0f);
}

TEST_F(Networks, ActivationsSaturateWithoutNaN) {
    NetworkWeights annet = NetworkWeights::Zero(2, 6, 1);
    annet.hiddenBiases = {-1e30f, 1e30f};
    annet.outputWeights = {1.0f, 2.0f};
    Write(runfiles::kValveWeights.Name(4), annet);
    AnnetModel valve(4);
    LoadPrinting(valve, true);
    EXPECT_EQ(AnnetVolts(valve, 1, 1, 1, 0, 0, 0), 16.0f);  // 8 × (0 × 1 + 1 × 2)

    NetworkWeights upper = NetworkWeights::Zero(1, 1, 1);
    upper.InputWeight(0, 0) = 1.0f;
    upper.outputWeights = {2.0f};
    upper.outputBiases = {0.5f};
    Write(runfiles::kUpperLinkWeights.Name(), upper);
    UpperLinkModel link;
    LoadPrinting(link, true);
    EXPECT_EQ(UpperVolts(link, 1e30f), 2.5f);  // unscaled: 0.5 + tanh × 2
    EXPECT_EQ(UpperVolts(link, -1e30f), -1.5f);
    EXPECT_EQ(UpperVolts(link, 0.0f), 0.5f);
    EXPECT_NEAR(UpperVolts(link, 0.25f), 0.5 + 2 * std::tanh(0.25), 1e-6);
}

// Raw text in the file's own layout: H = 1, I = 2, the block of output 0
// (weight 0.5, bias 0.25), the block of output 1 (weight -1, bias 0.125),
// neuron 0's input weights (1 from velocity 1, 0 from velocity 2), its bias.
TEST_F(Networks, DoubleLinkTakesEachOutputFromItsOwnBlockTimesFifteen) {
    WriteText(runfiles::kDoubleLinkWeights.Name(),
              "1\n0\n0\n0\n0\n2\n0.5\n0.25\n-1\n0.125\n1\n0\n0\n");
    DoubleLinkModel model;
    LoadPrinting(model, true);
    const float cases[][3] = {
        {0, 3.75f, 1.875f}, {1e30f, 11.25f, -13.125f}, {-1e30f, -3.75f, 16.875f}};
    for (const auto& c : cases) {
        float shoulder = -99, elbow = -99;
        model.Evaluate(c[0], 1e30f, shoulder, elbow);
        EXPECT_EQ(shoulder, c[1]) << "velocity " << c[0];
        EXPECT_EQ(elbow, c[2]) << "velocity " << c[0];
    }
}

TEST_F(Networks, HeaderFillersAndUnusedUpperLinkInputsDoNotMatter) {
    const std::string body = "0.5\n0.25\n";  // output weight, output bias
    WriteText(runfiles::kUpperLinkWeights.Name(), "1 0 0 0 0 1\n" + body + "2\n0.1\n");
    UpperLinkModel plain;
    LoadPrinting(plain, true);

    // Odd header fillers, three inputs whose extra weights are huge, and
    // trailing text that is never read.
    WriteText(runfiles::kUpperLinkWeights.Name(),
              "1\nnan\n-1e30\n-5\n2147483647\n3\n" + body + "2 1e30 -1e30\n0.1\ngarbage");
    UpperLinkModel odd;
    LoadPrinting(odd, true);
    for (float v : {-2.0f, 0.0f, 0.3f, 7.0f}) {
        EXPECT_EQ(UpperVolts(odd, v), UpperVolts(plain, v));
    }
}

TEST_F(Networks, WrittenWeightsReadBackIdentically) {
    std::mt19937 engine(7);
    std::normal_distribution<float> value(0.0f, 3.0f);
    NetworkWeights w = NetworkWeights::Zero(20, 2, 2);
    for (auto* block : {&w.outputWeights, &w.outputBiases, &w.inputWeights, &w.hiddenBiases}) {
        for (float& x : *block) {
            x = value(engine) * std::pow(10.0f, value(engine));
        }
    }
    Write(runfiles::kDoubleLinkWeights.Name(), w);
    const auto back =
        networks::LoadWeightFile(PathOf(runfiles::kDoubleLinkWeights.Name()), {2, 2, 2}, "");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->hiddenCount, 20);
    EXPECT_EQ(back->inputCount, 2);
    EXPECT_EQ(back->outputWeights, w.outputWeights);
    EXPECT_EQ(back->outputBiases, w.outputBiases);
    EXPECT_EQ(back->inputWeights, w.inputWeights);
    EXPECT_EQ(back->hiddenBiases, w.hiddenBiases);
}

TEST_F(Networks, WriterPutsOneNumberPerLineInTheFileOrder) {
    NetworkWeights w = NetworkWeights::Zero(1, 2, 2);
    w.outputWeights = {1.5f, 2.5f};
    w.outputBiases = {-1.0f, 0.1f};
    w.inputWeights = {3.0f, 4.0f};
    w.hiddenBiases = {5.0f};
    Write("layout.txt", w);
    std::stringstream text;
    text << std::ifstream(PathOf("layout.txt")).rdbuf();
    EXPECT_EQ(text.str(), "1\n0\n0\n0\n0\n2\n1.5\n-1\n2.5\n0.100000001\n3\n4\n5\n");

    // Weights that would not load back are refused.
    w.hiddenBiases = {NAN};
    EXPECT_FALSE(networks::WriteWeightFile(PathOf("refused.txt"), w));
    w.hiddenBiases.clear();  // arrays that do not match the counts
    EXPECT_FALSE(networks::WriteWeightFile(PathOf("refused.txt"), w));
    EXPECT_FALSE(std::filesystem::exists(PathOf("refused.txt")));
}

TEST_F(Networks, MissingFilesPrintTheirMessagesAndYieldZeroVolts) {
    AnnetModel valve(2);
    EXPECT_EQ(LoadPrinting(valve, false),
              "Dosya Ac\375lmad\375 WeightsANNET.txt\n"
              "Weight file " +
                  runfiles::kValveWeights.Path(2) +
                  " not loaded: cannot open it (No such file or directory)\n");
    EXPECT_EQ(AnnetVolts(valve, 1, 2, 3, 0, 0, 0), 0.0f);

    DoubleLinkModel doubleLink;
    EXPECT_EQ(LoadPrinting(doubleLink, false),
              (std::string("Dosya Ac\375lmad\375 ") + runfiles::kDoubleLinkWeights.Name() +
               "\nWeight file ./" + runfiles::kDoubleLinkWeights.RelativePath() +
               " not loaded: cannot open it (No such file or directory)\n"));
    float shoulder = -99, elbow = -99;
    doubleLink.Evaluate(1, 1, shoulder, elbow);
    EXPECT_EQ(shoulder, 0.0f);
    EXPECT_EQ(elbow, 0.0f);

    UpperLinkModel upper;
    EXPECT_EQ(LoadPrinting(upper, false),
              (std::string("Dosya Ac\375lmad\375 ") + runfiles::kUpperLinkWeights.Name() +
               "\nWeight file ./" + runfiles::kUpperLinkWeights.RelativePath() +
               " not loaded: cannot open it (No such file or directory)\n"));
    EXPECT_EQ(UpperVolts(upper, 1), 0.0f);
}

TEST_F(Networks, UnusableFilesAreNamedWithTheirProblemAndNotLoaded) {
    const std::string header = "2\n0\n0\n0\n0\n6\n";
    const struct {
        std::string text;
        std::string problem;
    } cases[] = {
        {"", "the file ends before number 1"},
        {"2\n0\n0\n", "the file ends before number 4"},
        {header + "1\n1\n0.5\n1\n", "the file ends before number 11"},
        {header + "1\nx\n", "number 8 is not a number"},
        {header + "1\n1\ninf\n", "number 9 is not finite"},
        {header + "nan\n", "number 7 is not finite"},
        {"-1\n0\n0\n0\n0\n6\n", "hidden count -1 is negative"},
        {"10001\n0\n0\n0\n0\n6\n", "hidden count 10001 is above 10000"},
        {"2\n0\n0\n0\n0\n5\n", "input count 5 is not the 6 this network takes"},
        {"2\n0\n0\n0\n0\n-6\n", "input count -6 is negative"},
    };
    for (const auto& c : cases) {
        WriteText(runfiles::kValveWeights.Name(1), c.text);
        AnnetModel model(1);
        EXPECT_EQ(LoadPrinting(model, false), "Weight file " + runfiles::kValveWeights.Path(1) +
                                                  " not loaded: " + c.problem + "\n");
        EXPECT_EQ(AnnetVolts(model, 1, 2, 3, 0, 0, 0), 0.0f);
    }

    WriteText(runfiles::kDoubleLinkWeights.Name(), "1\n0\n0\n0\n0\n3\n");
    DoubleLinkModel doubleLink;
    EXPECT_EQ(LoadPrinting(doubleLink, false),
              (std::string("Weight file ./") + runfiles::kDoubleLinkWeights.RelativePath() +
               " not loaded: input count 3 is not the 2 this network takes\n"));

    WriteText(runfiles::kUpperLinkWeights.Name(), "1\n0\n0\n0\n0\n0\n");
    UpperLinkModel upper;
    EXPECT_EQ(LoadPrinting(upper, false),
              (std::string("Weight file ./") + runfiles::kUpperLinkWeights.RelativePath() +
               " not loaded: input count 0 is below the 1 this network needs\n"));
}

// The demo networks are what the control runs drive the virtual lab with:
// valve networks that settle the lab's muscles near the desired pressure,
// rising with it and inside 0 to 8 V; link networks whose voltages run the
// lab's motors near the desired velocity, 0 V at rest, following the sign of
// the velocity and well inside +-5 V whatever it is.
TEST_F(Networks, DemoNetworksFitTheVirtualLab) {
    namespace plant = lab::plant;
    const std::string command = std::string(MAKE_DEMO_NETWORKS) + " --dir . --seed 5 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (int muscle = 1; muscle <= 4; ++muscle) {
        AnnetModel valve(muscle);
        LoadPrinting(valve, true);
        float previous = -1.0f;
        for (float p = 0.0f; p <= 6.0f; p += 0.25f) {
            SCOPED_TRACE(testing::Message() << "muscle " << muscle << " pressure " << p);
            const float volts = AnnetVolts(valve, p, p, p, 0, 0, 0);
            EXPECT_GT(volts, previous);
            EXPECT_GE(volts, 0.0f);
            EXPECT_LT(volts, 8.0f);
            previous = volts;
            // Within 0.25 bar of the desired pressure, as far as the regulator
            // sets it.
            const double settled = std::clamp(
                (volts - plant::BuiltIn().valveDeadBandVolts) * plant::BuiltIn().valveBarPerVolt,
                0.0, plant::BuiltIn().maxSetBar);
            EXPECT_NEAR(settled, std::min<double>(p, plant::BuiltIn().maxSetBar), 0.25);
        }
    }

    UpperLinkModel upper;
    LoadPrinting(upper, true);
    DoubleLinkModel doubleLink;
    LoadPrinting(doubleLink, true);
    // The motors' speeds, counts per ms, at a command: gain times volts.
    const auto speed = [](int axis, float volts) {
        return plant::BuiltIn().axes[axis].countsPerSecondPerVolt * volts / 1000.0;
    };
    for (float v : {-1e6f, -21.0f, -5.0f, -0.25f, 0.0f, 0.25f, 5.0f, 21.0f, 1e6f}) {
        SCOPED_TRACE(testing::Message() << "velocity " << v);
        const float carriage = UpperVolts(upper, v);
        float shoulder = 0, elbow = 0;
        doubleLink.Evaluate(v, v, shoulder, elbow);
        for (float volts : {carriage, shoulder, elbow}) {
            EXPECT_LT(std::fabs(volts), 4.5f);
            if (v == 0.0f) {
                EXPECT_NEAR(volts, 0.0f, 1e-5);
            } else {
                EXPECT_GT(volts * v, 0.0f);
            }
        }
        // Within 15 % of the desired velocity over the trajectories' range:
        // the carriage runs at a few tenths of a count per ms, the joints at
        // up to some 21.
        if (v == 0.0f) {
            continue;
        }
        if (std::fabs(v) <= 0.25f) {
            EXPECT_NEAR(speed(0, carriage), v, 0.15 * std::fabs(v));
        }
        if (std::fabs(v) <= 21.0f) {
            EXPECT_NEAR(speed(1, shoulder), v, 0.15 * std::fabs(v));
            EXPECT_NEAR(speed(2, elbow), v, 0.15 * std::fabs(v));
        }
    }
}

}  // namespace
