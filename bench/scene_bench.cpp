// One frame of the 3D view (DisplayView: mesh, links, readouts with their
// card reads, axes, swap) in the console's window size, on the virtual lab.
// Run under an X display, e.g. xvfb-run -a build/bench/scene_bench. The goal
// is well under 10 ms, so that a control run's redraw fits its 20 ms sample.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "console/scene.h"
#include "lab/lab.h"
#include "loader3ds/vertex_normals.h"
#include "tools/arm_mesh.h"

namespace {

// The view area the console's panels leave in its 1024 x 720 window.
constexpr int kViewWidth = 795;
constexpr int kViewHeight = 596;

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

// The mesh of the mesh tool, with the normals the loader gives it.
Model ArmMesh() {
    Model model = BuildArmModel();
    for (MeshObject& object : model.objects) {
        object.normals = SmoothNormals(object.vertices, object.faces);
    }
    return model;
}

void ArmMeshFrame(benchmark::State& state) {
    armModel = ArmMesh();
    DrawFrames(state);
}
BENCHMARK(ArmMeshFrame)->Unit(benchmark::kMillisecond);

// The arm with its first frame object replaced by about 80 000 triangles.
void DenseMeshFrame(benchmark::State& state) {
    armModel = ArmMesh();
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
    lab::Reset();
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(kViewWidth, kViewHeight);
    glutCreateWindow("scene bench");
    glutDisplayFunc(DisplayView);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_NORMALIZE);
    glEnable(GL_COLOR_MATERIAL);
    BuildLinkLists();
    glViewport(0, 0, kViewWidth, kViewHeight);
    viewAspect = static_cast<float>(kViewWidth) / kViewHeight;
    for (int round = 0; round < 50; ++round) {
        glutMainLoopEvent();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
