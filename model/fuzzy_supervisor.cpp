#include "model/fuzzy_supervisor.h"

namespace fuzzy {

float LowShoulder(float x, float q, float r) {
    if (x <= q) {
        return 1.0f;
    }
    if (x < r) {
        return float((double(r) - x) / (double(r) - q));
    }
    return 0.0f;
}

float Triangle(float x, float a, float b, float peak) {
    if (x <= a || x >= b) {
        return 0.0f;
    }
    if (x < peak) {
        return float((double(x) - a) / (double(peak) - a));
    }
    if (x == peak) {
        return 1.0f;
    }
    return float((double(b) - x) / (double(b) - peak));
}

float HighShoulder(float x, float q, float r) {
    if (x <= q) {
        return 0.0f;
    }
    if (x < r) {
        return float((double(x) - q) / (double(r) - q));
    }
    return 1.0f;
}

RuleStrengths StrengthsAt(float phase) {
    const double p = phase;
    const float g = float(0.0017353 * p * p - 0.0062396 * p + 0.015369);
    const float mid = (kHigh + kLow) / 2.0f;
    const float q1 = (mid + kLow) / 2.0f;
    const float q3 = (mid + kHigh) / 2.0f;
    return {{
        Triangle(g, kLow, mid, q1),
        Triangle(g, q1, q3, mid),
        Triangle(g, mid, kHigh, q3),
        HighShoulder(g, q3, kHigh),
        LowShoulder(g, q1, mid),
    }};
}

float BlendWeight(float phase, const float* k) {
    return CombineProposals(StrengthsAt(phase), k);
}

}  // namespace fuzzy
