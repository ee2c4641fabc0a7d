// What the three network families share: reading a recording's columns,
// turning fitted parameters into weight files, and replacing a family's
// files all at once.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "labdir/family_swap.h"
#include "networks/weight_file.h"
#include "trainer/fit.h"
#include "trainer/trainer.h"

namespace trainer {

// The numbers of a text recording, `columns` per line, read strictly.
// Nothing when the file is missing, holds no line or a line that is not
// `columns` finite numbers; a note says which.
std::optional<std::vector<std::vector<double>>> ReadColumns(const std::string& path, int columns,
                                                            std::vector<std::string>& notes);

// Drops the rows at the end for which `unrecorded` holds (the zero samples
// of a procedure stopped early) and notes how many went.
template <typename Row, typename Predicate>
void DropTrailing(std::vector<Row>& rows, Predicate unrecorded, const std::string& path,
                  std::vector<std::string>& notes) {
    std::size_t kept = rows.size();
    while (kept > 0 && unrecorded(rows[kept - 1])) {
        --kept;
    }
    if (kept == rows.size()) {
        return;
    }
    notes.push_back(path + ": " + std::to_string(rows.size() - kept) +
                    " trailing zero samples dropped (the recording was cut short)");
    rows.resize(kept);
}

// The fitted parameters in the valve and link networks' weight layout.
networks::NetworkWeights ToNetworkWeights(const NetworkShape& shape,
                                          const Eigen::VectorXd& parameters);

// The fit options of one network: the family's options with a seed of the
// network's own, so that each network's fit depends on nothing else.
FitOptions NetworkFitOptions(const TrainingOptions& options, int network);

// Calls work(0) to work(count - 1), spread over the machine's cores. The
// calls must not depend on each other; each fit seeds itself, so the
// results do not depend on the order.
void ParallelFor(int count, const std::function<void(int)>& work);

// sqrt(sum / count), 0 for no samples.
double Rms(double squaredSum, int count);

// The new files of a family, written into a staging directory in
// NeuralFiles/ and swapped in together (labdir::FamilySwap): the family is
// replaced whole or left as it was. Whatever was not committed is removed
// when the object goes.
class StagedFamily {
  public:
    // A note in `report` says why when the staging directory cannot be made;
    // every write then fails.
    StagedFamily(FamilyReport& report);

    // `name` is the file's path below NeuralFiles/. Writes through
    // networks::WriteWeightFile; what went wrong, naming the file, or an
    // empty text.
    std::string Write(const std::string& name, const networks::NetworkWeights& weights);
    // Writes the given text as it is, unless it holds a weight that is not
    // finite ("inf", "nan").
    std::string WriteText(const std::string& name, const std::string& text);
    // Replaces the family's entries of NeuralFiles/ (files, or a directory
    // holding its files) by the staged ones, and removes the PATH.new files
    // an earlier kind of run left. Sets the report's written and mixed, with
    // a note saying what was done.
    bool Commit(const std::vector<std::string>& entries);

  private:
    FamilyReport& report_;
    std::optional<labdir::FamilySwap> swap_;
};
}  // namespace trainer
