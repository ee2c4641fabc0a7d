// Least-squares fitting of networks with one hidden layer: the forward pass
// and its analytic Jacobian for the three network shapes the system uses,
// and Levenberg-Marquardt with seeded restarts and early stopping on a
// held-out part of the samples. Everything is deterministic from the seed.
#pragma once

#include <Eigen/Dense>
#include <cstdint>
#include <vector>

namespace trainer {

enum class Activation { kLogistic, kTanh };

// y_o = outputScale * (c_o + sum_j v_oj * act(b_j + sum_i w_ji * x_i)).
struct NetworkShape {
    int inputs;
    int hidden;
    int outputs;
    Activation activation;
    double outputScale;

    // Parameter vector layout: per hidden neuron j its inputs' weights then
    // its bias; then per output o its hidden neurons' weights then its bias.
    int ParameterCount() const { return hidden * (inputs + 1) + outputs * (hidden + 1); }
    int InputWeight(int j, int i) const { return j * (inputs + 1) + i; }
    int HiddenBias(int j) const { return j * (inputs + 1) + inputs; }
    int OutputWeight(int o, int j) const { return hidden * (inputs + 1) + o * (hidden + 1) + j; }
    int OutputBias(int o) const { return hidden * (inputs + 1) + o * (hidden + 1) + hidden; }
};

// Input rows (already scaled as the network's Evaluate scales them) and the
// wanted outputs in the network's output unit, one row per sample.
struct Samples {
    Eigen::MatrixXd inputs;   // samples x inputs
    Eigen::MatrixXd targets;  // samples x outputs
    int Count() const { return int(inputs.rows()); }
};

// The rows of `samples` listed in `rows`, in that order.
Samples Select(const Samples& samples, const std::vector<int>& rows);

// A seeded split of n samples: `heldOut` holds round(fraction * n) of them
// (at least one when n >= 2), `training` the rest; both in ascending order.
struct Split {
    std::vector<int> training;
    std::vector<int> heldOut;
};
Split SplitSamples(int count, double heldOutFraction, std::uint64_t seed);

// Uniform reals from a 64-bit generator whose sequence is fixed by its seed
// on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed);
    double Uniform(double low, double high);
    std::uint64_t Next();

  private:
    std::uint64_t state_;
};

// Network outputs for every sample (samples x outputs).
Eigen::MatrixXd Forward(const NetworkShape& shape, const Eigen::VectorXd& parameters,
                        const Eigen::MatrixXd& inputs);

// Root mean square of (output - target) over every sample and output; 0 for
// no samples.
double RmsError(const NetworkShape& shape, const Eigen::VectorXd& parameters,
                const Samples& samples);

// Residuals (output - target), sample-major (row n * outputs + o), and the
// Jacobian of the residuals by the parameters, one row per residual.
void ResidualsAndJacobian(const NetworkShape& shape, const Eigen::VectorXd& parameters,
                          const Samples& samples, Eigen::VectorXd& residuals,
                          Eigen::MatrixXd& jacobian);

struct FitOptions {
    std::uint64_t seed = 1;
    int restarts = 4;         // independent starts; the best on held-out samples wins
    int maxIterations = 150;  // accepted and refused steps together, per start
    int patience = 12;        // steps without a held-out improvement before stopping
    // Penalty on the squared parameters, relative to the number of training
    // residuals: keeps weights finite and small where the samples leave a
    // direction undetermined.
    double weightDecay = 1e-5;
};

struct FitResult {
    Eigen::VectorXd parameters;
    double trainingRms = 0;
    double heldOutRms = 0;  // equals trainingRms when no samples are held out
    int iterations = 0;     // steps of the winning start
};

// Fits `shape` to `training`; `heldOut` (may be empty) decides when a start
// stops and which start wins. At least one training sample is needed.
FitResult Fit(const NetworkShape& shape, const Samples& training, const Samples& heldOut,
              const FitOptions& options);

}  // namespace trainer
