// Fuzzy supervisor: turns the position of the joint angle inside its 4-degree
// network bin (the bin phase) into the weight with which the own bin's
// prediction is blended with the neighbouring bin's. Five rules over a
// scheduling value of the phase, shaped by a ten-parameter vector K.
#pragma once

#include <array>

namespace fuzzy {

constexpr int kParameterCount = 10;
constexpr int kRuleCount = 5;

// The hybrid control run's built-in parameter vector, K0..K9.
inline constexpr std::array<float, kParameterCount> kHybridRunVector = {
    0.1489f, 0.602f, 0.2659f, 0.0067f, 0.5735f, 0.5266f, 0.6143f, 0.1722f, 0.8195f, 0.5964f};

// Fixed breakpoints of the scheduling value.
constexpr float kLow = 0.0098f;
constexpr float kHigh = 0.0182f;

// Membership functions of the scheduling value x.
float LowShoulder(float x, float q, float r);
float Triangle(float x, float a, float b, float peak);  // feet a and b
float HighShoulder(float x, float q, float r);

// A rule's firing strength from its membership value: the identity.
inline float RuleStrength(float membership) {
    return membership;
}

// A rule's proposal for the blend weight and the weight of that proposal.
struct Proposal {
    float z;
    float weight;
};
// z = Ka, weight = r * Kb * (2 - Kb).
inline Proposal Consequent(float strength, float ka, float kb) {
    return {ka, float(double(strength) * kb * (2.0 - kb))};
}

// The firing strengths of the five rules at a bin phase (0 to 4), in rule
// order. They depend on the phase only, so a caller scoring many parameter
// vectors on the same samples computes them once.
struct RuleStrengths {
    float rule[kRuleCount];
};
RuleStrengths StrengthsAt(float phase);

// Indices in K of each rule's proposal and hedge, in rule order.
inline constexpr int kProposalOf[kRuleCount] = {6, 4, 2, 0, 8};
inline constexpr int kHedgeOf[kRuleCount] = {7, 5, 3, 1, 9};

// The blend weight from the rules' strengths and K0..K9: the mean of the
// proposals weighted by their consequents, summed in rule order. When no
// rule carries weight (every firing rule silenced by its hedge) the two bins
// are blended evenly: W = 0.5. Inline because a tuning search calls it for
// every sample of every candidate.
inline float CombineProposals(const RuleStrengths& strengths, const float* k) {
    double weighted = 0.0, total = 0.0;
    for (int i = 0; i < kRuleCount; ++i) {
        const Proposal rule =
            Consequent(RuleStrength(strengths.rule[i]), k[kProposalOf[i]], k[kHedgeOf[i]]);
        weighted += double(rule.z) * rule.weight;
        total += rule.weight;
    }
    if (total == 0.0) {
        return 0.5f;
    }
    return float(weighted / total);
}

// Blend weight W of the own bin for the bin phase (0 to 4) and the
// parameter vector K0..K9.
float BlendWeight(float phase, const float* k);

// blended[i] = w * own[i] + (1 - w) * neighbour[i] for the four muscles.
inline void Blend(float w, const float* own, const float* neighbour, float* blended) {
    for (int i = 0; i < 4; ++i) {
        blended[i] = float(double(w) * own[i] + (1.0 - w) * neighbour[i]);
    }
}

}  // namespace fuzzy
