#include "tests/lab_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "model/ponnet_model.h"
#include "runfiles/catalogue.h"

namespace labtest {

ProgramRun RunCommand(const std::string& command) {
    ProgramRun run{-1, ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        run.console += char(c);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

ToolRun RunTool(const std::string& tool, const std::string& arguments) {
    const ProgramRun program = RunCommand(tool + " " + arguments + " 2>stderr.txt");
    ToolRun run{program.status, program.console, ReadText("stderr.txt")};
    std::filesystem::remove("stderr.txt");
    return run;
}

CaseDirectory MakeCaseDirectory() {
    CaseDirectory dir;
    dir.root = std::filesystem::current_path();
    dir.weights = dir.root / "NeuralFiles" / "WeightsPONNET";
    dir.arbiter = dir.root / "arbiter";
    std::filesystem::remove_all(dir.root / "NeuralFiles");
    std::filesystem::remove_all(dir.arbiter);
    std::filesystem::create_directories(dir.weights);
    std::filesystem::create_directories(dir.arbiter);
    return dir;
}

void WriteWeightSet(const std::filesystem::path& weights, const NetworkMaker& network) {
    WriteText(weights / runfiles::kPonnetGeneralWeights.Name(), "3\n0.1\n0.9\n1\n14\n");
    for (int muscle = 1; muscle <= 4; ++muscle) {
        for (int set = 0; set < 2; ++set) {
            for (int bin = 0; bin < 36; ++bin) {
                std::ostringstream text;
                for (float value : network(muscle, set, bin)) {
                    text << value << "\n";
                }
                const std::string name = PonnetModel::WeightFileName(muscle, bin, set);
                WriteText(weights / name, text.str());
            }
        }
    }
}

Network ConstantNetwork(float value) {
    Network network{};
    network[3] = value / 4;
    return network;
}

Network IdentifyingNetwork(int, int set, int bin) {
    return ConstantNetwork(float(bin + 100 * set));
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int LineCount(const std::filesystem::path& path) {
    int lines = 0;
    for (char c : ReadText(path)) {
        lines += c == '\n';
    }
    return lines;
}

void WriteLog(const std::filesystem::path& path,
              const std::vector<runfiles::PressureLogRecord>& records) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    for (const auto& record : records) {
        runfiles::Write(file, record);
    }
    std::fclose(file);
}

runfiles::PressureLogRecord LogRecord(std::array<int, 5> counts, float measured) {
    runfiles::PressureLogRecord record;
    for (int m = 0; m < 4; ++m) {
        record.measured[m] = measured;
    }
    for (int c = 0; c < 5; ++c) {
        record.counts[c] = counts[c];
    }
    return record;
}

WorkingDirectory::WorkingDirectory(const std::filesystem::path& directory)
    : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
}

WorkingDirectory::~WorkingDirectory() {
    std::filesystem::current_path(previous_);
}

}  // namespace labtest
