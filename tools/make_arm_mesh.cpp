// make-arm-mesh [PATH]: writes the console's arm mesh (default
// Resources/Drawing1.3ds), creating the directory when missing.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "loader3ds/chunk_writer.h"
#include "tools/arguments.h"
#include "tools/arm_mesh.h"

namespace {

constexpr const char* kUsage =
    "usage: make-arm-mesh [PATH]\n"
    "Writes the arm mesh the console draws to PATH (default Resources/Drawing1.3ds),\n"
    "creating PATH's directory when missing.\n";

}  // namespace

int main(int argc, char** argv) {
    tools::Arguments args("make-arm-mesh", kUsage);
    std::vector<std::string> paths;
    args.Positionals(paths, 0, 1, "PATH");
    if (const auto exit = args.Parse(argc, argv)) {
        return *exit;
    }

    const std::filesystem::path path = paths.empty() ? "Resources/Drawing1.3ds" : paths.front();
    if (path.has_parent_path() &&
        !tools::CreateOutputDirectory(args.program(), path.parent_path().string())) {
        return 1;
    }
    const Model model = BuildArmModel();
    if (!WriteModel(model, path.c_str())) {
        std::fprintf(stderr, "make-arm-mesh: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s: %d objects, %d materials\n", path.c_str(), model.objectCount,
                model.materialCount);
    return 0;
}
