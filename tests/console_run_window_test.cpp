// A run as the console makes it: the hybrid run redrawing the 3D view once
// per sample, on the virtual lab, with the program's allocations counted.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "console/scene.h"
#include "runfiles/catalogue.h"
#include "runs/runs.h"
#include "tests/allocation_counter.h"
#include "tests/lab_session.h"
#include "tests/window_test_support.h"

namespace {

constexpr int kSamples = 36;  // a trajectory of kSamples + 4 records

// The arm mesh, the demo networks of all ten kinds and a sine trajectory
// cut to its first kSamples + 4 dynamic-term records.
void PrepareRunInputs() {
    for (const std::string& command : {std::string(MAKE_ARM_MESH) + " > /dev/null",
                                       std::string(MAKE_DEMO_DATA) + " --samples 6 . > /dev/null",
                                       std::string(MAKE_DEMO_NETWORKS) + " --dir . > /dev/null",
                                       std::string(TRAJGEN) + " --sine > /dev/null"}) {
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::ifstream in(runfiles::kDynamicTerms.RelativePath());
    std::string kept;
    std::string line;
    for (int i = 0; i < kSamples + 4 && std::getline(in, line); ++i) {
        kept += line + "\n";
    }
    in.close();
    std::ofstream(runfiles::kDynamicTerms.RelativePath()) << kept;
}

// The count of allocations after each redraw.
std::vector<long> allocationsAfterFrame;

void RedrawAndCount() {
    DisplayView();
    allocationsAfterFrame.push_back(labtest::AllocationCount());
}

TEST(ConsoleRun, RedrawingTheViewEverySampleAllocatesNothing) {
    if (!StartGlut()) {
        GTEST_SKIP() << "no X display";
    }
    PrepareRunInputs();
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(320, 240);
    const int window = glutCreateWindow("console run");
    glutDisplayFunc(DisplayView);
    LoadArmModel();
    BuildLinkLists();
    viewAspect = 320.0f / 240.0f;
    // The GL driver allocates while it warms up to the view's drawing.
    for (int frame = 0; frame < 10; ++frame) {
        DisplayView();
    }

    platform::VirtualClockScope clock;
    ResetLabWithCardsOpen();
    GoHome();
    HomeMuscles();
    allocationsAfterFrame.reserve(2 * kSamples);  // so that recording allocates nothing
    testing::internal::CaptureStdout();
    const runs::RunResult result = RunHybridControl(RedrawAndCount);
    testing::internal::GetCapturedStdout();
    glutDestroyWindow(window);
    lab::Reset();

    EXPECT_EQ(result.end, runs::RunEnd::kCompleted);
    // The redraw ran once per sample, and no frame allocated: the readouts
    // are formatted into fixed buffers.
    ASSERT_EQ(allocationsAfterFrame.size(), std::size_t(kSamples));
    EXPECT_EQ(allocationsAfterFrame.back(), allocationsAfterFrame.front());
}

}  // namespace
