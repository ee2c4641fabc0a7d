#include "trainer/fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace trainer {
namespace {

double Activate(Activation activation, double sum) {
    return activation == Activation::kLogistic ? 1.0 / (1.0 + std::exp(-sum)) : std::tanh(sum);
}

// The activation's derivative, from its value.
double Slope(Activation activation, double value) {
    return activation == Activation::kLogistic ? value * (1.0 - value) : 1.0 - value * value;
}

// rows * weights + biases of a layer of `neurons` fed by `inputs` values,
// neuron n keeping its weights and then its bias at p[offset + n * (inputs + 1)].
Eigen::MatrixXd LayerSums(const Eigen::VectorXd& p, const Eigen::MatrixXd& rows, int offset,
                          int inputs, int neurons) {
    const Eigen::Map<const Eigen::MatrixXd> block(p.data() + offset, inputs + 1, neurons);
    const Eigen::MatrixXd weights = block.topRows(inputs);
    const Eigen::RowVectorXd biases = block.row(inputs);
    Eigen::MatrixXd sums = rows * weights;
    sums.rowwise() += biases;
    return sums;
}

// Hidden activations of every sample (samples x hidden).
Eigen::MatrixXd HiddenLayer(const NetworkShape& shape, const Eigen::VectorXd& p,
                            const Eigen::MatrixXd& inputs) {
    return LayerSums(p, inputs, shape.InputWeight(0, 0), shape.inputs, shape.hidden)
        .unaryExpr([&](double s) { return Activate(shape.activation, s); });
}

Eigen::MatrixXd OutputLayer(const NetworkShape& shape, const Eigen::VectorXd& p,
                            const Eigen::MatrixXd& hidden) {
    return LayerSums(p, hidden, shape.OutputWeight(0, 0), shape.hidden, shape.outputs) *
           shape.outputScale;
}

double SquaredError(const NetworkShape& shape, const Eigen::VectorXd& p, const Samples& samples) {
    if (samples.Count() == 0) {
        return 0.0;
    }
    return (Forward(shape, p, samples.inputs) - samples.targets).squaredNorm();
}

// A start that sees every input's range and the targets' level: hidden
// neurons with random directions scaled to the inputs' spread and biased
// to cut through the data, small output weights and output biases at the
// mean target.
Eigen::VectorXd InitialParameters(const NetworkShape& shape, const Samples& training,
                                  Random& random) {
    Eigen::VectorXd p = Eigen::VectorXd::Zero(shape.ParameterCount());
    const Eigen::RowVectorXd mean = training.inputs.colwise().mean();
    const double fanIn = std::sqrt(double(std::max(shape.inputs, 1)));
    for (int j = 0; j < shape.hidden; ++j) {
        double centre = 0.0;
        for (int i = 0; i < shape.inputs; ++i) {
            const double spread =
                std::sqrt((training.inputs.col(i).array() - mean[i]).square().mean());
            const double scale = spread > 1e-9 ? 1.0 / spread : 1.0;
            const double weight = random.Uniform(-2.0, 2.0) * scale / fanIn;
            p[shape.InputWeight(j, i)] = weight;
            centre += weight * mean[i];
        }
        p[shape.HiddenBias(j)] = random.Uniform(-1.0, 1.0) - centre;
    }
    const Eigen::MatrixXd hidden = HiddenLayer(shape, p, training.inputs);
    for (int o = 0; o < shape.outputs; ++o) {
        const Eigen::VectorXd target = training.targets.col(o) / shape.outputScale;
        const double spread = std::sqrt((target.array() - target.mean()).square().mean());
        const double size = std::max(spread, 1e-3) / std::sqrt(double(std::max(shape.hidden, 1)));
        double atMean = 0.0;
        for (int j = 0; j < shape.hidden; ++j) {
            const double weight = random.Uniform(-1.0, 1.0) * size;
            p[shape.OutputWeight(o, j)] = weight;
            atMean += weight * hidden.col(j).mean();
        }
        p[shape.OutputBias(o)] = target.mean() - atMean;
    }
    return p;
}

struct Start {
    Eigen::VectorXd best;
    double bestHeldOut = std::numeric_limits<double>::infinity();
    int iterations = 0;
};

// One Levenberg-Marquardt descent on the squared error plus the decay
// penalty, keeping the parameters with the lowest held-out error seen.
Start Descend(const NetworkShape& shape, const Samples& training, const Samples& heldOut,
              const FitOptions& options, Eigen::VectorXd p) {
    const int count = shape.ParameterCount();
    const double decay = options.weightDecay * double(training.targets.size());
    auto objective = [&](const Eigen::VectorXd& q) {
        return SquaredError(shape, q, training) + decay * q.squaredNorm();
    };
    // Without held-out samples the training objective judges.
    auto judge = [&](const Eigen::VectorXd& q) {
        return heldOut.Count() > 0 ? SquaredError(shape, q, heldOut) : objective(q);
    };

    Start start;
    start.best = p;
    start.bestHeldOut = judge(p);
    Eigen::VectorXd residuals;
    Eigen::MatrixXd jacobian;
    double current = objective(p);
    double damping = 1e-3;
    int sinceBest = 0;
    bool refresh = true;
    Eigen::MatrixXd normal(count, count);
    Eigen::VectorXd gradient(count);
    while (start.iterations < options.maxIterations) {
        ++start.iterations;
        if (refresh) {
            ResidualsAndJacobian(shape, p, training, residuals, jacobian);
            normal.setZero();
            normal.selfadjointView<Eigen::Lower>().rankUpdate(jacobian.transpose());
            normal = normal.selfadjointView<Eigen::Lower>();
            normal.diagonal().array() += decay;
            gradient = jacobian.transpose() * residuals + decay * p;
            refresh = false;
        }
        Eigen::MatrixXd damped = normal;
        const double floor = 1e-12 * std::max(1.0, normal.diagonal().maxCoeff());
        damped.diagonal() += damping * (normal.diagonal().array() + floor).matrix();
        const Eigen::LDLT<Eigen::MatrixXd> solver(damped);
        const Eigen::VectorXd step = solver.solve(-gradient);
        const Eigen::VectorXd candidate = p + step;
        const double next = solver.info() == Eigen::Success && candidate.allFinite()
                                ? objective(candidate)
                                : std::numeric_limits<double>::infinity();
        if (!(next < current)) {
            damping *= 10.0;
            if (damping > 1e10) {
                break;
            }
            continue;
        }
        const bool converged = current - next <= 1e-12 * current;
        p = candidate;
        current = next;
        damping = std::max(damping / 10.0, 1e-12);
        refresh = true;

        const double error = judge(p);
        if (error < start.bestHeldOut * (1.0 - 1e-9)) {
            start.bestHeldOut = error;
            start.best = p;
            sinceBest = 0;
        } else if (++sinceBest >= options.patience) {
            break;
        }
        if (converged) {
            break;
        }
    }
    return start;
}

}  // namespace

Random::Random(std::uint64_t seed) : state_(seed) {}

// splitmix64: a fixed sequence for a given seed.
std::uint64_t Random::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::Uniform(double low, double high) {
    return low + (high - low) * double(Next() >> 11) / double(1ull << 53);
}

Samples Select(const Samples& samples, const std::vector<int>& rows) {
    Samples selected;
    selected.inputs.resize(Eigen::Index(rows.size()), samples.inputs.cols());
    selected.targets.resize(Eigen::Index(rows.size()), samples.targets.cols());
    for (std::size_t n = 0; n < rows.size(); ++n) {
        selected.inputs.row(Eigen::Index(n)) = samples.inputs.row(rows[n]);
        selected.targets.row(Eigen::Index(n)) = samples.targets.row(rows[n]);
    }
    return selected;
}

Split SplitSamples(int count, double heldOutFraction, std::uint64_t seed) {
    std::vector<int> order(std::max(count, 0));
    std::iota(order.begin(), order.end(), 0);
    Random random(seed);
    for (int n = count - 1; n > 0; --n) {  // Fisher-Yates
        std::swap(order[n], order[int(random.Next() % std::uint64_t(n + 1))]);
    }
    int heldOut = int(std::lround(heldOutFraction * count));
    if (count >= 2 && heldOutFraction > 0) {
        heldOut = std::clamp(heldOut, 1, count - 1);
    }
    Split split;
    split.heldOut.assign(order.begin(), order.begin() + std::max(heldOut, 0));
    split.training.assign(order.begin() + std::max(heldOut, 0), order.end());
    std::sort(split.heldOut.begin(), split.heldOut.end());
    std::sort(split.training.begin(), split.training.end());
    return split;
}

Eigen::MatrixXd Forward(const NetworkShape& shape, const Eigen::VectorXd& parameters,
                        const Eigen::MatrixXd& inputs) {
    return OutputLayer(shape, parameters, HiddenLayer(shape, parameters, inputs));
}

double RmsError(const NetworkShape& shape, const Eigen::VectorXd& parameters,
                const Samples& samples) {
    if (samples.targets.size() == 0) {
        return 0.0;
    }
    return std::sqrt(SquaredError(shape, parameters, samples) / double(samples.targets.size()));
}

void ResidualsAndJacobian(const NetworkShape& shape, const Eigen::VectorXd& p,
                          const Samples& samples, Eigen::VectorXd& residuals,
                          Eigen::MatrixXd& jacobian) {
    const int count = samples.Count();
    const Eigen::MatrixXd hidden = HiddenLayer(shape, p, samples.inputs);
    const Eigen::MatrixXd outputs = OutputLayer(shape, p, hidden);
    residuals.resize(Eigen::Index(count) * shape.outputs);
    jacobian.setZero(residuals.size(), shape.ParameterCount());
    const double scale = shape.outputScale;
    for (int n = 0; n < count; ++n) {
        for (int o = 0; o < shape.outputs; ++o) {
            const Eigen::Index row = Eigen::Index(n) * shape.outputs + o;
            residuals[row] = outputs(n, o) - samples.targets(n, o);
            jacobian(row, shape.OutputBias(o)) = scale;
            for (int j = 0; j < shape.hidden; ++j) {
                const double h = hidden(n, j);
                jacobian(row, shape.OutputWeight(o, j)) = scale * h;
                // Through hidden neuron j: d y / d sum_j = scale * v_oj * act'.
                const double through =
                    scale * p[shape.OutputWeight(o, j)] * Slope(shape.activation, h);
                jacobian(row, shape.HiddenBias(j)) = through;
                for (int i = 0; i < shape.inputs; ++i) {
                    jacobian(row, shape.InputWeight(j, i)) = through * samples.inputs(n, i);
                }
            }
        }
    }
}

FitResult Fit(const NetworkShape& shape, const Samples& training, const Samples& heldOut,
              const FitOptions& options) {
    FitResult result;
    double best = std::numeric_limits<double>::infinity();
    for (int restart = 0; restart < std::max(options.restarts, 1); ++restart) {
        Random random(options.seed * 0x100000001B3ull + std::uint64_t(restart) + 1);
        Start start =
            Descend(shape, training, heldOut, options, InitialParameters(shape, training, random));
        if (start.bestHeldOut < best || result.parameters.size() == 0) {
            best = start.bestHeldOut;
            result.parameters = std::move(start.best);
            result.iterations = start.iterations;
        }
    }
    result.trainingRms = RmsError(shape, result.parameters, training);
    result.heldOutRms =
        heldOut.Count() > 0 ? RmsError(shape, result.parameters, heldOut) : result.trainingRms;
    return result;
}

}  // namespace trainer
