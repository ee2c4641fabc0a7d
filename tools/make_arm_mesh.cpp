// make-arm-mesh [PATH]: writes the console's arm mesh (default
// Resources/Drawing1.3ds), creating the directory when missing.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "loader3ds/chunk_writer.h"
#include "tools/arm_mesh.h"

int main(int argc, char** argv) {
    if (argc > 2 ||
        (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
        std::fputs(
            "usage: make-arm-mesh [PATH]\n"
            "Writes the arm mesh the console draws to PATH (default Resources/Drawing1.3ds).\n",
            argc > 2 ? stderr : stdout);
        return argc > 2 ? 2 : 0;
    }
    const std::filesystem::path path = argc == 2 ? argv[1] : "Resources/Drawing1.3ds";
    std::error_code error;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), error);
    }
    const Model model = BuildArmModel();
    if (error || !WriteModel(model, path.c_str())) {
        std::fprintf(stderr, "make-arm-mesh: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s: %d objects, %d materials\n", path.c_str(), model.objectCount,
                model.materialCount);
    return 0;
}
