// One frame of the 3D view (DisplayView: mesh, links, readouts with their
// card reads, axes, swap) in the console's window size, on the virtual lab.
// Run under an X display, e.g. xvfb-run -a build/bench/scene_bench. The goal
// is well under 10 ms, so that a control run's redraw fits its 20 ms sample.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "console/scene.h"
#include "tests/lab_cards.h"
#include "view_window.h"

namespace {

// A flat grid object of 2 * cells * cells triangles (a dense mesh's load).
MeshObject Grid(int cells) {
    MeshObject grid{};
    for (int row = 0; row <= cells; ++row) {
        for (int column = 0; column <= cells; ++column) {
            grid.vertices.push_back(
                {-100.0f + 400.0f * column / cells, 0.0f, -200.0f + 300.0f * row / cells});
            grid.normals.push_back({0.0f, 1.0f, 0.0f});
        }
    }
    for (int row = 0; row < cells; ++row) {
        for (int column = 0; column < cells; ++column) {
            const int corner = row * (cells + 1) + column;
            grid.faces.push_back({{corner, corner + 1, corner + cells + 1}});
            grid.faces.push_back({{corner + 1, corner + cells + 2, corner + cells + 1}});
        }
    }
    grid.vertexCount = static_cast<int>(grid.vertices.size());
    grid.faceCount = static_cast<int>(grid.faces.size());
    return grid;
}

void DrawFrames(benchmark::State& state) {
    for (auto _ : state) {
        DisplayView();
        glFinish();
    }
    int faces = 0;
    for (const MeshObject& object : armModel.objects) {
        faces += object.faceCount;
    }
    state.counters["faces"] = faces;
}

void ArmMeshFrame(benchmark::State& state) {
    armModel = benchview::ArmMesh();
    DrawFrames(state);
}
BENCHMARK(ArmMeshFrame)->Unit(benchmark::kMillisecond);

// The arm with its first frame object replaced by about 80 000 triangles.
void DenseMeshFrame(benchmark::State& state) {
    armModel = benchview::ArmMesh();
    armModel.objects[0] = Grid(200);
    DrawFrames(state);
}
BENCHMARK(DenseMeshFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "scene_bench needs an X display (try xvfb-run -a)\n");
        return 1;
    }
    glutInit(&argc, argv);
    benchmark::Initialize(&argc, argv);
    ResetLabWithCardsOpen();
    benchview::OpenViewWindow("scene bench");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
