// make-arm-mesh [PATH]: writes the console's arm mesh (default
// Resources/Drawing1.3ds), creating the directory when missing.
#include <cstdio>
#include <filesystem>
#include <string>

#include "loader3ds/chunk_writer.h"
#include "tools/arm_mesh.h"
#include "tools/command_line.h"

namespace {

constexpr const char* kUsage =
    "usage: make-arm-mesh [PATH]\n"
    "Writes the arm mesh the console draws to PATH (default Resources/Drawing1.3ds),\n"
    "creating PATH's directory when missing.\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("make-arm-mesh", kUsage);
    std::string pathText = "Resources/Drawing1.3ds";
    tools::AddText(app, "PATH", pathText);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }

    const std::filesystem::path path = pathText;
    if (path.has_parent_path() &&
        !tools::CreateOutputDirectory(app.get_name(), path.parent_path().string())) {
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
