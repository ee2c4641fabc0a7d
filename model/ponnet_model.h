// PONNET pressure networks of one pneumatic muscle: 36 bins of 4 degrees of
// the muscle-driven joint angle, two networks per bin (set `f` and set `b`),
// each with 14 inputs, 3 logistic hidden neurons and one linear output.
#pragma once

#include <array>
#include <string>

// Weight directories of the two programs, relative to their working directories.
inline constexpr const char* kConsoleWeightDirectory = "./NeuralFiles/WeightsPONNET/";
inline constexpr const char* kEvaluatorWeightDirectory = "../NeuralFiles/WeightsPONNET/";

class PonnetModel {
  public:
    static constexpr int kBins = 36;
    static constexpr int kSets = 2;  // 0 = `f`, 1 = `b`
    static constexpr int kRows = 49;
    static constexpr int kHidden = 3;
    static constexpr int kInputs = 14;
    static constexpr int kInputSize = kInputs + 1;  // the 14 record fields and the direction flag
    // Rows of one network's 49 parameters in its weight file.
    static constexpr int kOutputWeightRow = 0;  // v[j] at row j
    static constexpr int kOutputBiasRow = 3;
    static constexpr int kInputWeightRow = 4;  // input q to hidden j at row 4 + 14 j + q
    static constexpr int kHiddenBiasRow = 46;  // c[j] at row 46 + j

    // Stores the muscle index (1 to 4) and reads the hidden and input counts
    // from kPonnetGeneralWeights behind `weightDirectory`.
    PonnetModel(int muscle, std::string weightDirectory);
    virtual ~PonnetModel();
    PonnetModel(const PonnetModel&) = delete;
    PonnetModel& operator=(const PonnetModel&) = delete;

    // Reads the 72 weight files of this muscle (the `f` set, then the `b`
    // set, labels -72 to 68). A file that cannot be opened is reported and
    // skipped; its parameters stay zero. Returns true when kPonnetGeneralWeights
    // and every weight file opened and every number was read.
    bool LoadWeights();
    bool IsLoaded() const { return loaded_; }

    // Predicts the muscle's pressure from a trajectory record and the
    // direction flag (input[0..14]) with the network of the angle's bin
    // shifted by `binOffset` (-1, 0 or +1). Allocates nothing.
    void Evaluate(const float* input, float* output, int binOffset) const;

    // Input q (0 to 13) of a network as Evaluate normalises it from the
    // record field X[q]: (X[q] + offset) / divisor, stored as a float.
    static float NormalisedInput(int q, float value);
    // Bin of an angle in degrees shifted by `binOffset`, clamped to the table.
    static int BinOf(float angle, int binOffset);
    // Angle label of a bin in degrees: -72 for bin 0, 68 for bin 35.
    static int BinLabel(int bin);
    // Weight set of a muscle for a direction flag.
    static int SetOf(int muscle, float directionFlag);
    // Name of a per-bin weight file, without the directory
    // (runfiles::PonnetWeightFileName of the bin's angle label).
    static std::string WeightFileName(int muscle, int bin, int set);

  private:
    bool ReadGeneralWeights();
    bool LoadSet(int set);

    int muscle_;
    std::string directory_;
    bool generalRead_ = false;
    bool loaded_ = false;

    // weights_[set][bin][row]
    std::array<std::array<std::array<float, kRows>, kBins>, kSets> weights_{};
};
