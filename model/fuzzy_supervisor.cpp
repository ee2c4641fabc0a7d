#include "model/fuzzy_supervisor.h"

namespace fuzzy {

float LowShoulder(float x, float q, float r) {
    if (x <= q)
        return 1.0f;
    if (x < r)
        return float((double(r) - x) / (double(r) - q));
    return 0.0f;
}

float Triangle(float x, float a, float b, float peak) {
    if (x <= a || x >= b)
        return 0.0f;
    if (x < peak)
        return float((double(x) - a) / (double(peak) - a));
    if (x == peak)
        return 1.0f;
    return float((double(b) - x) / (double(b) - peak));
}

float HighShoulder(float x, float q, float r) {
    if (x <= q)
        return 0.0f;
    if (x < r)
        return float((double(x) - q) / (double(r) - q));
    return 1.0f;
}

float RuleStrength(float membership) {
    return membership;
}

Proposal Consequent(float strength, float ka, float kb) {
    return {ka, float(double(strength) * kb * (2.0 - kb))};
}

float BlendWeight(float phase, const float* k) {
    const double p = phase;
    const float g = float(0.0017353 * p * p - 0.0062396 * p + 0.015369);
    const float mid = (kHigh + kLow) / 2.0f;
    const float q1 = (mid + kLow) / 2.0f;
    const float q3 = (mid + kHigh) / 2.0f;

    const Proposal rules[] = {
        Consequent(RuleStrength(Triangle(g, kLow, mid, q1)), k[6], k[7]),
        Consequent(RuleStrength(Triangle(g, q1, q3, mid)), k[4], k[5]),
        Consequent(RuleStrength(Triangle(g, mid, kHigh, q3)), k[2], k[3]),
        Consequent(RuleStrength(HighShoulder(g, q3, kHigh)), k[0], k[1]),
        Consequent(RuleStrength(LowShoulder(g, q1, mid)), k[8], k[9]),
    };
    double weighted = 0.0, total = 0.0;
    for (const Proposal& rule : rules) {
        weighted += double(rule.z) * rule.weight;
        total += rule.weight;
    }
    if (total == 0.0)
        return 0.5f;
    return float(weighted / total);
}

void Blend(float w, const float* own, const float* neighbour, float* blended) {
    for (int i = 0; i < 4; ++i) {
        blended[i] = float(double(w) * own[i] + (1.0 - w) * neighbour[i]);
    }
}

}  // namespace fuzzy
