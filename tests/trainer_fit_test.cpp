// The fitting core on synthetic data: analytic Jacobians against finite
// differences, recovery of a known network, seeded determinism, the split.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "trainer/fit.h"

namespace {

using trainer::Activation;
using trainer::NetworkShape;
using trainer::Samples;

// The three network shapes the system evaluates: pressure (14-3-1, logistic,
// x4), valve (6-H-1, logistic, x8), double link (2-H-2, tanh, x15).
const NetworkShape kPressure{14, 3, 1, Activation::kLogistic, 4.0};
const NetworkShape kValve{6, 5, 1, Activation::kLogistic, 8.0};
const NetworkShape kDoubleLink{2, 6, 2, Activation::kTanh, 15.0};

Eigen::VectorXd RandomParameters(const NetworkShape& shape, std::uint64_t seed, double size) {
    trainer::Random random(seed);
    Eigen::VectorXd p(shape.ParameterCount());
    for (double& value : p) {
        value = random.Uniform(-size, size);
    }
    return p;
}

// Inputs uniform in [0, 1] and the outputs of a teacher network, plus noise.
Samples TeacherSamples(const NetworkShape& shape, const Eigen::VectorXd& teacher, int count,
                       double noise, std::uint64_t seed) {
    trainer::Random random(seed);
    Samples samples;
    samples.inputs.resize(count, shape.inputs);
    for (double& value : samples.inputs.reshaped()) {
        value = random.Uniform(0.0, 1.0);
    }
    samples.targets = trainer::Forward(shape, teacher, samples.inputs);
    for (double& value : samples.targets.reshaped()) {
        value += random.Uniform(-noise, noise);
    }
    return samples;
}

TEST(TrainerFit, JacobianMatchesFiniteDifferencesForEveryShape) {
    for (const NetworkShape& shape : {kPressure, kValve, kDoubleLink}) {
        const Eigen::VectorXd p = RandomParameters(shape, 7, 1.5);
        const Samples samples = TeacherSamples(shape, RandomParameters(shape, 8, 1.0), 5, 0.1, 9);
        Eigen::VectorXd residuals;
        Eigen::MatrixXd jacobian;
        trainer::ResidualsAndJacobian(shape, p, samples, residuals, jacobian);
        ASSERT_EQ(residuals.size(), 5 * shape.outputs);
        ASSERT_EQ(jacobian.cols(), shape.ParameterCount());
        EXPECT_NEAR((residuals.reshaped(shape.outputs, 5).transpose() -
                     (trainer::Forward(shape, p, samples.inputs) - samples.targets))
                        .norm(),
                    0.0, 1e-12);
        for (int k = 0; k < shape.ParameterCount(); ++k) {
            const double h = 1e-6;
            Eigen::VectorXd up = p, down = p;
            up[k] += h;
            down[k] -= h;
            const Eigen::MatrixXd difference = (trainer::Forward(shape, up, samples.inputs) -
                                                trainer::Forward(shape, down, samples.inputs)) /
                                               (2 * h);
            for (int n = 0; n < 5; ++n) {
                for (int o = 0; o < shape.outputs; ++o) {
                    EXPECT_NEAR(jacobian(n * shape.outputs + o, k), difference(n, o), 1e-5)
                        << "parameter " << k << " sample " << n << " output " << o;
                }
            }
        }
    }
}

TEST(TrainerFit, RecoversTheFunctionOfAKnownNetwork) {
    for (const NetworkShape& shape : {kPressure, kDoubleLink}) {
        const Eigen::VectorXd teacher = RandomParameters(shape, 21, 1.0);
        const Samples all = TeacherSamples(shape, teacher, 400, 0.0, 22);
        const trainer::Split split = trainer::SplitSamples(all.Count(), 0.2, 3);
        const Samples training = trainer::Select(all, split.training);
        const Samples heldOut = trainer::Select(all, split.heldOut);
        trainer::FitOptions options;
        options.restarts = 3;
        options.maxIterations = 300;
        options.weightDecay = 0.0;
        const trainer::FitResult fit = trainer::Fit(shape, training, heldOut, options);

        const double spread = std::sqrt(
            (all.targets.rowwise() - all.targets.colwise().mean()).array().square().mean());
        EXPECT_LT(fit.heldOutRms, 0.02 * spread) << "outputs " << shape.outputs;
        EXPECT_LT(fit.trainingRms, 0.02 * spread);
        EXPECT_DOUBLE_EQ(fit.heldOutRms, trainer::RmsError(shape, fit.parameters, heldOut));
    }
}

TEST(TrainerFit, IsDeterministicFromItsSeed) {
    const Eigen::VectorXd teacher = RandomParameters(kValve, 31, 1.0);
    const Samples training = TeacherSamples(kValve, teacher, 120, 0.05, 32);
    const Samples heldOut = TeacherSamples(kValve, teacher, 30, 0.05, 33);
    trainer::FitOptions options;
    options.restarts = 2;
    options.seed = 5;
    const trainer::FitResult first = trainer::Fit(kValve, training, heldOut, options);
    const trainer::FitResult again = trainer::Fit(kValve, training, heldOut, options);
    EXPECT_EQ(first.parameters, again.parameters);
    options.seed = 6;
    const trainer::FitResult other = trainer::Fit(kValve, training, heldOut, options);
    EXPECT_NE(first.parameters, other.parameters);
}

TEST(TrainerFit, EarlyStoppingKeepsTheBestHeldOutParameters) {
    // Few noisy samples and many parameters: training error keeps falling
    // while held-out error turns; the result is the held-out optimum.
    const Eigen::VectorXd teacher = RandomParameters(kPressure, 41, 1.0);
    const Samples training = TeacherSamples(kPressure, teacher, 40, 0.3, 42);
    const Samples heldOut = TeacherSamples(kPressure, teacher, 40, 0.3, 43);
    trainer::FitOptions options;
    options.restarts = 1;
    options.maxIterations = 400;
    options.patience = 5;
    options.weightDecay = 0.0;
    const trainer::FitResult stopped = trainer::Fit(kPressure, training, heldOut, options);
    EXPECT_LT(stopped.iterations, options.maxIterations);

    options.patience = 400;
    const trainer::FitResult overfitted = trainer::Fit(kPressure, training, heldOut, options);
    EXPECT_LE(stopped.heldOutRms, overfitted.heldOutRms + 1e-12);
    // Without held-out samples the fit runs on and reports the training error.
    const trainer::FitResult alone = trainer::Fit(kPressure, training, Samples{}, options);
    EXPECT_DOUBLE_EQ(alone.heldOutRms, alone.trainingRms);
    EXPECT_LE(alone.trainingRms, stopped.trainingRms);
}

TEST(TrainerFit, SplitHoldsOutAFifthDisjointlyAndRepeatably) {
    const trainer::Split split = trainer::SplitSamples(101, 0.2, 9);
    EXPECT_EQ(split.heldOut.size(), 20u);
    EXPECT_EQ(split.training.size(), 81u);
    std::vector<int> all = split.training;
    all.insert(all.end(), split.heldOut.begin(), split.heldOut.end());
    std::sort(all.begin(), all.end());
    for (int n = 0; n < 101; ++n) {
        EXPECT_EQ(all[n], n);
    }
    EXPECT_EQ(trainer::SplitSamples(101, 0.2, 9).heldOut, split.heldOut);
    EXPECT_NE(trainer::SplitSamples(101, 0.2, 10).heldOut, split.heldOut);
    // Two samples still give one to each side; one sample is all training.
    EXPECT_EQ(trainer::SplitSamples(2, 0.2, 1).heldOut.size(), 1u);
    EXPECT_TRUE(trainer::SplitSamples(1, 0.2, 1).heldOut.empty());
}

}  // namespace
