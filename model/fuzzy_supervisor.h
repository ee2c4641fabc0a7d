// Fuzzy supervisor: turns the position of the joint angle inside its 4-degree
// network bin (the bin phase) into the weight with which the own bin's
// prediction is blended with the neighbouring bin's. Five rules over a
// scheduling value of the phase, shaped by a ten-parameter vector K.
#pragma once

namespace fuzzy {

constexpr int kParameterCount = 10;

// Fixed breakpoints of the scheduling value.
constexpr float kLow = 0.0098f;
constexpr float kHigh = 0.0182f;

// Membership functions of the scheduling value x.
float LowShoulder(float x, float q, float r);
float Triangle(float x, float a, float b, float peak);  // feet a and b
float HighShoulder(float x, float q, float r);

// A rule's firing strength from its membership value.
float RuleStrength(float membership);

// A rule's proposal for the blend weight and the weight of that proposal.
struct Proposal {
    float z;
    float weight;
};
// z = Ka, weight = r * Kb * (2 - Kb).
Proposal Consequent(float strength, float ka, float kb);

// Blend weight W of the own bin for the bin phase (0 to 4) and the
// parameter vector K0..K9. When no rule carries weight (every firing rule
// silenced by its hedge) the two bins are blended evenly: W = 0.5.
float BlendWeight(float phase, const float* k);

// blended[i] = w * own[i] + (1 - w) * neighbour[i] for the four muscles.
void Blend(float w, const float* own, const float* neighbour, float* blended);

}  // namespace fuzzy
