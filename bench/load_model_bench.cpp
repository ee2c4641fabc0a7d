// Loading a 3DS mesh of 120 000 faces (two objects of 60 000, the most a
// 16-bit face count allows twice over), smoothed normals included. Goal:
// under 50 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "loader3ds/chunk_writer.h"
#include "loader3ds/model_loader.h"

namespace {

constexpr int kColumns = 200, kRows = 150;  // 2 x 200 x 150 = 60 000 faces per object
constexpr const char* kPath = "bench-120k-faces.3ds";

// A rippled sheet of kColumns x kRows quads, two triangles each.
MeshObject Sheet(const char* name, float offset) {
    MeshObject sheet{};
    std::strncpy(sheet.name, name, kMeshNameSize - 1);
    for (int row = 0; row <= kRows; ++row) {
        for (int column = 0; column <= kColumns; ++column) {
            const float height = 3.0f * std::sin(0.2f * column) * std::cos(0.15f * row);
            sheet.vertices.push_back({static_cast<float>(column), height, offset + row});
        }
    }
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            const int corner = row * (kColumns + 1) + column;
            const int below = corner + kColumns + 1;
            sheet.faces.push_back({{corner, below, corner + 1}});
            sheet.faces.push_back({{corner + 1, below, below + 1}});
        }
    }
    sheet.vertexCount = static_cast<int>(sheet.vertices.size());
    sheet.faceCount = static_cast<int>(sheet.faces.size());
    return sheet;
}

void BM_ImportModel120kFaces(benchmark::State& state) {
    Model source;
    source.objects = {Sheet("SheetA", 0.0f), Sheet("SheetB", 200.0f)};
    source.objectCount = 2;
    if (!WriteModel(source, kPath)) {
        state.SkipWithError("cannot write the mesh file");
        return;
    }
    for (auto _ : state) {
        Model model;
        const bool loaded = ModelLoader().ImportModel(model, kPath);
        benchmark::DoNotOptimize(model.objects.data());
        if (!loaded || model.objects[1].faceCount != 2 * kColumns * kRows) {
            state.SkipWithError("the mesh did not load");
            break;
        }
    }
    std::remove(kPath);
}
BENCHMARK(BM_ImportModel120kFaces)->Unit(benchmark::kMillisecond);

}  // namespace
