// Test helpers: per-test directories laid out as arbiter expects, weight
// sets, logs and text files.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runfiles/run_files.h"

namespace labtest {

// NeuralFiles/WeightsPONNET/ and arbiter/ in the test's own working directory.
struct CaseDirectory {
    std::filesystem::path root, weights, arbiter;
};
CaseDirectory MakeCaseDirectory();

// The 49 parameters of the network of a muscle (1-4), set (0 = f, 1 = b) and bin (0-35).
using Network = std::array<float, 49>;
using NetworkMaker = std::function<Network(int muscle, int set, int bin)>;
// The general file (runfiles::kPonnetGeneralWeights) and all 288 weight files.
void WriteWeightSet(const std::filesystem::path& weights, const NetworkMaker& network);

// A network whose output is `value`: v = 0, output bias value / 4.
Network ConstantNetwork(float value);
// A network whose output is bin + 100 * set, so a prediction names the network that made it.
Network IdentifyingNetwork(int muscle, int set, int bin);

void WriteText(const std::filesystem::path& path, const std::string& text);
std::string ReadText(const std::filesystem::path& path);
int LineCount(const std::filesystem::path& path);

void WriteLog(const std::filesystem::path& path,
              const std::vector<runfiles::PressureLogRecord>& records);
// A log record with the encoder counts count0..count4 and measured pressures.
runfiles::PressureLogRecord LogRecord(std::array<int, 5> counts, float measured = 0.0f);

// What a program run through the shell printed on standard output, and its
// exit status (-1 when it did not exit normally).
struct ProgramRun {
    int status;
    std::string console;
};
ProgramRun RunCommand(const std::string& command);

// A program's exit status and what it printed on standard output and on
// standard error (collected through stderr.txt in the working directory).
struct ToolRun {
    int status = -1;
    std::string out, err;
};
ToolRun RunTool(const std::string& tool, const std::string& arguments);

// Runs in `directory` for its lifetime.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& directory);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    std::filesystem::path previous_;
};

}  // namespace labtest
