// Weight files of the valve and link networks, and the weights they hold.
//
// A weight file is text, numbers separated by white space (one per line as
// written here), in this order: the hidden count H, two reals and two
// integers that nothing uses, the input count I; for each output its H
// hidden-to-output weights and then its bias; for each hidden neuron its I
// input weights; the H hidden biases. Anything after that is not read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace networks {

// The largest hidden or input count a file may declare. Real networks have a
// few dozen neurons; larger counts come from damaged files and would only
// make the reader allocate absurd amounts of memory.
inline constexpr int kMaxCount = 10000;

// The weights of a network with one hidden layer, in the file's order.
struct NetworkWeights {
    int hiddenCount = 0;
    int inputCount = 0;
    std::vector<float> outputWeights;  // output o, hidden neuron j at [o * H + j]
    std::vector<float> outputBiases;   // one per output
    std::vector<float> inputWeights;   // hidden neuron j, input i at [j * I + i]
    std::vector<float> hiddenBiases;   // one per hidden neuron

    // All-zero weights of the given shape.
    static NetworkWeights Zero(int hiddenCount, int inputCount, int outputCount);

    int OutputCount() const { return int(outputBiases.size()); }
    float& OutputWeight(int output, int hidden) {
        return outputWeights[output * hiddenCount + hidden];
    }
    float& InputWeight(int hidden, int input) { return inputWeights[hidden * inputCount + input]; }

    // The sum of the neuron's bias and input × weight over the first
    // `usedInputs` inputs, stored back as a float after each addition.
    float HiddenSum(int hidden, const float* inputs, int usedInputs) const {
        const float* weights = &inputWeights[hidden * inputCount];
        float sum = hiddenBiases[hidden];
        for (int i = 0; i < usedInputs; ++i) {
            sum = float(sum + double(inputs[i]) * weights[i]);
        }
        return sum;
    }
};

// What a network demands of its file: its number of output blocks and the
// input counts it can evaluate.
struct WeightFileShape {
    int outputCount;
    int minInputs;
    int maxInputs;
};

// Reads the weight file at `path`. When the file cannot be used, prints
// `openFailureMessage` if it did not open, then a line naming the file and
// the problem, and returns nothing: a file that does not open, ends early,
// holds something other than a finite number where one belongs, or declares
// counts that are negative, above kMaxCount or outside the shape's input
// range.
std::optional<NetworkWeights> LoadWeightFile(const std::string& path, const WeightFileShape& shape,
                                             const char* openFailureMessage);

// Writes `weights` in the layout above, one number per line, the unused
// header numbers as 0 and the reals with enough digits to read back the
// same floats. Returns false, writing nothing, when the weights would not
// load back (arrays that do not match their counts, counts above kMaxCount,
// a weight that is not finite), and when the file cannot be written.
bool WriteWeightFile(const std::string& path, const NetworkWeights& weights);

}  // namespace networks
