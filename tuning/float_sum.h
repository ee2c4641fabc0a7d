// arbiter's error sum, E = float(E + x) for each square x in turn, without
// its latency: that chain of an addition and two conversions per square
// would bound a candidate's cost on its own.
//
// While E lies in one binade [2^k, 2^(k+1)) it is a whole number of float
// quanta q = 2^(k-23). There the double sum E + x equals E + D with
// D = double(2^k + x) - 2^k (E and 2^k are even multiples of the double
// quantum, so both sums round alike), and rounding that to float adds
// D / q rounded to the nearest whole number of quanta. A group of squares thus
// adds the sum of their rounded quotients, provided none is a tie (whose
// rounding depends on E's parity) and E stays in its binade. Groups that
// break either rule, and sums that are zero, subnormal or not finite, take
// the plain chain.
#pragma once

#include <bit>
#include <cstdint>

#include "arm/arm.h"

namespace tuning {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"  // internal inline helpers, no ABI crossed
// Eight samples side by side: one AVX-512 register, two AVX2 or four SSE2 ones.
constexpr int kLanes = 8;
typedef double Lanes __attribute__((vector_size(8 * kLanes)));

class FloatSum {
  public:
    // E = float(E + x) for the 4 * kLanes values x >= 0 (or NaN) in the
    // order columns[0][0], columns[1][0], columns[2][0], columns[3][0],
    // columns[0][1], ...: lane i of column m is the square of sample i,
    // muscle m.
    inline void AddGroup(const Lanes (&columns)[arm::kMuscleCount]) {
        if (binade_ != 0) {
            const Lanes two52 = Lanes{} + 0x1p52, one = Lanes{} + 1.0, none = Lanes{};
            Lanes quanta = Lanes{}, ties = Lanes{};
            for (const Lanes& values : columns) {
                const Lanes y = ((base_ + values) - base_) * toQuanta_;
                const Lanes nearest = (y + two52) - two52;  // round half to even
                const Lanes off = nearest - y;              // exact, within [-0.5, 0.5]
                ties += (off * off == 0.25) ? one : none;   // a select, not a mask: vectorises
                quanta += nearest;
            }
            // Whole numbers below 2^53 (or NaN): any order of addition is exact.
            static_assert(kLanes == 8);
            quanta += __builtin_shufflevector(quanta, quanta, 4, 5, 6, 7, 0, 1, 2, 3);
            ties += __builtin_shufflevector(ties, ties, 4, 5, 6, 7, 0, 1, 2, 3);
            quanta += __builtin_shufflevector(quanta, quanta, 2, 3, 0, 1, 6, 7, 4, 5);
            ties += __builtin_shufflevector(ties, ties, 2, 3, 0, 1, 6, 7, 4, 5);
            const double added = quanta[0] + quanta[1];
            if (ties[0] + ties[1] == 0.0 &&
                double(quanta_) + added + 1.0 < double(kQuantaPerBinade)) {
                quanta_ += std::int64_t(added);
                return;
            }
        }
        float e = Value();
        for (int lane = 0; lane < kLanes; ++lane) {
            for (const Lanes& values : columns) {
                e = float(e + values[lane]);
            }
        }
        Enter(e);
    }

    float Value() const {
        if (binade_ == 0) {
            return plain_;
        }
        return std::bit_cast<float>((std::uint32_t(binade_) << 23) +
                                    std::uint32_t(quanta_ - kQuantaPerBinade / 2));
    }

  private:
    static constexpr std::int64_t kQuantaPerBinade = std::int64_t(1) << 24;

    // Takes E apart: its biased exponent and its quanta, for a normal float.
    inline void Enter(float e) {
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(e);
        const int biased = int(bits >> 23);  // above 255 for a negative sum
        if (biased <= 0 || biased >= 255) {
            binade_ = 0;
            plain_ = e;
            return;
        }
        binade_ = biased;
        quanta_ = std::int64_t((bits & 0x7fffff) | 0x800000);
        const int k = biased - 127;
        base_ = std::bit_cast<double>(std::uint64_t(k + 1023) << 52);
        toQuanta_ = std::bit_cast<double>(std::uint64_t(23 - k + 1023) << 52);
    }

    int binade_ = 0;  // biased float exponent of E; 0 while E takes the plain chain
    float plain_ = 0.0f;
    std::int64_t quanta_ = 0;  // E / q
    double base_ = 0.0;        // 2^k
    double toQuanta_ = 0.0;    // 1 / q
};
#pragma GCC diagnostic pop

}  // namespace tuning
