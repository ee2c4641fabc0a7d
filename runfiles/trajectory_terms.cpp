#include "runfiles/trajectory_terms.h"

#include <cmath>

#include "arm/arm.h"

namespace runfiles {

TrajectoryTerms DynamicTerms(const JointSample& s) {
    const double t1 = s.theta1, t2 = s.theta2, t3 = s.theta3;
    const double rate2 = s.rate2, rate3 = s.rate3;
    const double accel2 = s.accel2, accel3 = s.accel3;
    return {{
        t1 * 360 / 2 / arm::kPi,
        s.theta4 * 360 / 2 / arm::kPi,
        s.accel2,
        float(std::cos(t1) * accel2),
        float(std::cos(t3 + t1) * accel2),
        s.accel3,
        float(std::cos(t1) * accel3),
        s.accel1,
        float(std::sin(t1) * rate2 * rate2),
        float(std::sin(t3 + t1) * rate2 * rate2),
        float(std::sin(t1) * rate2 * rate3),
        float(std::sin(t1) * rate3 * rate3),
        float(std::sin(t2 + t3 + t1)),
        s.accel4,
    }};
}

TrajectoryRecord RecordOf(const TrajectoryTerms& terms) {
    TrajectoryRecord record;
    for (int i = 0; i < TrajectoryRecord::kFieldCount; ++i) {
        record.field[i] = float(terms.values[i]);
    }
    return record;
}

}  // namespace runfiles
