// The search: NLopt's subplex, alone from several starts or inside
// multi-level single-linkage, over the fitness behind the interface.
#include <nlopt.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "tuning/tuning.h"

namespace tuning {
namespace {

constexpr int kDimension = fuzzy::kParameterCount;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Candidates closer than this count as the same: a candidate file holds six
// decimals, so finer steps cannot change the fitness.
constexpr double kStepTolerance = 1e-6;

struct OptDeleter {
    void operator()(nlopt_opt opt) const { nlopt_destroy(opt); }
};
using Optimizer = std::unique_ptr<std::remove_pointer_t<nlopt_opt>, OptDeleter>;

// The objective NLopt calls: every proposal becomes the candidate a file
// would hold, is scored once and counted against the budget.
struct Objective {
    Fitness& fitness;
    const ProgressReport& report;
    long budget;
    SearchResult result;
    nlopt_opt running = nullptr;  // stopped when the budget is spent

    double Score(const double* x) {
        Candidate k;
        for (int i = 0; i < kDimension; ++i) {
            k[i] = runfiles::CandidateValueAsRead(x[i]);
        }
        const double value = fitness.Of(k);
        ++result.evaluations;
        if (!std::isfinite(value)) {
            ++result.failed;
        } else if (value < result.fitness) {
            result.fitness = value;
            result.best = k;
            if (report) {
                report(result.evaluations, value);
            }
        }
        if (result.evaluations >= budget && running) {
            nlopt_force_stop(running);
        }
        // NLopt takes a huge value as a bad point; infinity may upset subplex.
        return std::isfinite(value) ? value : std::numeric_limits<double>::max();
    }
};

double Call(unsigned, const double* x, double*, void* data) {
    return static_cast<Objective*>(data)->Score(x);
}

Optimizer Subplex(const double* low, const double* high) {
    Optimizer opt(nlopt_create(NLOPT_LN_SBPLX, kDimension));
    nlopt_set_lower_bounds(opt.get(), low);
    nlopt_set_upper_bounds(opt.get(), high);
    nlopt_set_xtol_abs1(opt.get(), kStepTolerance);
    return opt;
}

// Runs `opt` from `x` with at most `evaluations` (at least 1) of the budget.
void Run(Objective& objective, nlopt_opt opt, double* x, long evaluations) {
    nlopt_set_min_objective(opt, Call, &objective);
    nlopt_set_maxeval(opt, int(std::min<long>(evaluations, std::numeric_limits<int>::max())));
    objective.running = opt;
    double value = 0.0;
    nlopt_optimize(opt, x, &value);
    objective.running = nullptr;
}

// Uniform values from the generator's raw output, identical on every platform.
double Uniform(std::mt19937& engine, double low, double high) {
    return low + (high - low) * double(engine() >> 8) / double(1u << 24);
}

}  // namespace

SearchResult Search(Fitness& fitness, const Candidate& start, const SearchSettings& settings,
                    const ProgressReport& report) {
    double low[kDimension], high[kDimension], x[kDimension];
    for (int i = 0; i < kDimension; ++i) {
        const bool hedge = i % 2 == 1;
        low[i] = hedge ? settings.bounds.hedgeLow : settings.bounds.proposalLow;
        high[i] = hedge ? settings.bounds.hedgeHigh : settings.bounds.proposalHigh;
        x[i] = std::clamp(double(start[i]), low[i], high[i]);
    }

    Objective objective{fitness, report, settings.budget, {}};
    objective.result.fitness = kInfinity;
    std::copy(start.begin(), start.end(), objective.result.best.begin());
    auto remaining = [&] { return settings.budget - objective.result.evaluations; };

    if (settings.method == Method::kGlobal) {
        nlopt_srand(settings.seed);
        Optimizer global(nlopt_create(NLOPT_G_MLSL_LDS, kDimension));
        nlopt_set_lower_bounds(global.get(), low);
        nlopt_set_upper_bounds(global.get(), high);
        const Optimizer local = Subplex(low, high);
        nlopt_set_local_optimizer(global.get(), local.get());
        Run(objective, global.get(), x, remaining());
        return objective.result;
    }

    // Local: the start vector first, then the random starts, each run taking
    // an even share of what the earlier ones left.
    std::mt19937 engine(settings.seed);
    const Optimizer local = Subplex(low, high);
    for (int run = 0; run <= settings.randomStarts && remaining() > 0; ++run) {
        if (run > 0) {
            for (int i = 0; i < kDimension; ++i) {
                x[i] = Uniform(engine, low[i], high[i]);
            }
        }
        const long share = remaining() / (settings.randomStarts + 1 - run);
        Run(objective, local.get(), x, std::max(share, 1L));
    }
    return objective.result;
}

}  // namespace tuning
