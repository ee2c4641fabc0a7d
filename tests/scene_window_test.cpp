// Frames of the 3D view on the virtual lab, read back with glReadPixels.
#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "console/scene.h"
#include "console/scene_math.h"
#include "lab/lab.h"
#include "platform/clock.h"
#include "tests/lab_session.h"
#include "tests/window_test_support.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
int window = 0;

bool BuildWindow() {
    if (!StartGlut()) {
        return false;
    }
    if (window == 0) {
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowPosition(0, 0);
        glutInitWindowSize(kWidth, kHeight);
        window = glutCreateWindow("scene");
        glutDisplayFunc(DisplayView);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_NORMALIZE);
        glEnable(GL_COLOR_MATERIAL);
        BuildLinkLists();
        EXPECT_TRUE(PumpUntil([] { return glutGet(GLUT_WINDOW_WIDTH) == kWidth; }));
        Pump(20);
    }
    glutSetWindow(window);
    glViewport(0, 0, kWidth, kHeight);
    viewAspect = static_cast<float>(kWidth) / kHeight;
    return true;
}

using Pixel = std::array<int, 3>;

class SceneFrame {
  public:
    // Draws one frame and reads the whole window back.
    SceneFrame() : pixels(3u * kWidth * kHeight) {
        DisplayView();
        // Mesa's software rasteriser keeps the back buffer after the swap.
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    }

    // (x, y) in GL window coordinates, origin at the bottom left.
    Pixel At(int x, int y) const {
        const std::uint8_t* p = &pixels[3u * (y * kWidth + x)];
        return {p[0], p[1], p[2]};
    }

    // Pixels of the readouts' yellow in the box [x0, x1) x [y0, y1).
    int YellowIn(int x0, int y0, int x1, int y1) const {
        int count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                count += At(x, y) == Pixel{250, 250, 0};
            }
        }
        return count;
    }

  private:
    std::vector<std::uint8_t> pixels;
};

// The view's projection and camera as DisplayView sets them.
void LoadViewMatrices(double model[16], double projection[16], int viewport[4]) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.4 * viewAspect, 0.4 * viewAspect, -0.4, 0.4, 1.0, 750.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(-220.0f, -100.0f, -540.0f);
    glRotatef(30.0f, 0.0f, -0.5f, 0.0f);
    glTranslatef(viewTranslation[0], viewTranslation[1], -viewTranslation[2]);
    glMultMatrixf(viewRotation);
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
}

// A point carried through the view's matrices by gluProject or gluUnProject.
std::array<double, 3> Through(decltype(&gluProject) transform, double x, double y, double z) {
    double model[16], projection[16];
    int viewport[4];
    LoadViewMatrices(model, projection, viewport);
    std::array<double, 3> point;
    transform(x, y, z, model, projection, viewport, &point[0], &point[1], &point[2]);
    return point;
}

std::array<double, 3> Unproject(double x, double y, double depth) {
    return Through(gluUnProject, x, y, depth);
}

// A mesh object of one triangle that covers window pixel (x, y), facing the
// camera, moved by `shift` along x in model space.
MeshObject TriangleAt(double x, double y, double shift, int materialId) {
    MeshObject object{};
    const std::array<double, 3> corners[3] = {
        Unproject(x - 12, y - 12, 0.9), Unproject(x + 12, y - 12, 0.9), Unproject(x, y + 12, 0.9)};
    const auto near = Unproject(x, y, 0.0);
    const auto far = Unproject(x, y, 1.0);
    const Vec3 towardsCamera{static_cast<float>(near[0] - far[0]),
                             static_cast<float>(near[1] - far[1]),
                             static_cast<float>(near[2] - far[2])};
    for (const auto& corner : corners) {
        object.vertices.push_back({static_cast<float>(corner[0] + shift),
                                   static_cast<float>(corner[1]), static_cast<float>(corner[2])});
        object.normals.push_back(towardsCamera);
    }
    object.faces.push_back({{0, 1, 2}});
    object.vertexCount = 3;
    object.faceCount = 1;
    object.materialId = materialId;
    return object;
}

class SceneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLabWithCardsOpen();
        if (!BuildWindow()) {
            GTEST_SKIP() << "no X display";
        }
        armModel = Model{};
        RunStatus = Ready;
    }
    void TearDown() override {
        CloseValveOutput();
        ClosePressureInput();
        CloseMotionCard();
    }

    // The lab's plant stands still while the frames are drawn.
    platform::VirtualClockScope virtualClock;
};

TEST_F(SceneTest, FrameShowsBackgroundRedEndLinkAndYellowReadouts) {
    const std::int32_t counts[5] = {0, 0, -5, 0, 0};
    lab::SetEncoderCounts(counts);
    const double pressures[4] = {2.0, 3.0, 0.0, 1.0};
    lab::SetMusclePressures(pressures);

    SceneFrame first;  // reads the sensors for the next frame's arm
    EXPECT_NEAR(musclePressures[0], 2.0f, 0.01f);
    EXPECT_NEAR(musclePressures[1], 3.0f, 0.01f);
    EXPECT_EQ(EncoderCounts[2], -5);  // raw count after ReadJointAngles
    const SceneFrame frame;

    EXPECT_EQ(frame.At(kWidth - 20, kHeight / 2), (Pixel{0, 0, 51}));
    EXPECT_EQ(frame.At(20, kHeight / 2), (Pixel{0, 0, 51}));

    // Middle of the end link's cylinder.
    const LinkPlacement end = PlaceLinks(jointAngles)[2];
    const double angle = end.angle * 3.141592653589793 / 180.0;
    const auto centre =
        Through(gluProject, end.x, end.y - 5.0 * std::sin(angle), end.z + 5.0 * std::cos(angle));
    const Pixel link = frame.At(static_cast<int>(centre[0]), static_cast<int>(centre[1]));
    EXPECT_GT(link[0], 80);
    EXPECT_LT(link[1], 20);
    EXPECT_LT(link[2], 20);

    // Status line at (10, 10), encoder and angle rows at the top, pressure
    // column at the left, in the 0-200 square.
    EXPECT_GT(frame.YellowIn(32, 20, 120, 45), 40);
    EXPECT_GT(frame.YellowIn(364, 462, 450, 475), 20);
    EXPECT_GT(frame.YellowIn(16, 440, 120, 475), 60);
    EXPECT_GT(frame.YellowIn(592, 20, 640, 40), 10);  // "QT53"
    EXPECT_EQ(frame.YellowIn(200, 100, 500, 400), 0);

    // The status text changes with RunStatus.
    RunStatus = HybridControl;
    const SceneFrame busy;
    EXPECT_GT(busy.YellowIn(120, 20, 300, 45), 3 * frame.YellowIn(120, 20, 300, 45) + 40);
}

TEST_F(SceneTest, MeshObjectsTakeMaterialColourAndTheCarriageRidesTheOffset) {
    const std::int32_t counts[5] = {0, 0, 0, 0, 0};
    lab::SetEncoderCounts(counts);
    SceneFrame reading;  // carriage angle 0: carriage objects shift by -20
    ASSERT_EQ(jointAngles[0], 0.0f);

    armModel.materials.resize(2);
    armModel.materials[0] = MeshMaterial{"green", "", {0, 220, 0}};
    armModel.materials[1] = MeshMaterial{"mapped", "wood.bmp", {0, 0, 220}};
    armModel.materialCount = 2;
    armModel.objects.resize(12);
    armModel.objects[0] = TriangleAt(100, 300, 0.0, 0);  // frame, coloured
    armModel.objects[1] = TriangleAt(200, 300, 0.0, 1);  // frame, textured
    armModel.objects[1].hasTexture = true;
    armModel.objects[7] = TriangleAt(300, 120, 20.0, -1);  // carriage, no material
    armModel.objects[11] = TriangleAt(450, 120, 0.0, 0);   // trailing, never drawn
    armModel.objectCount = 12;

    const SceneFrame frame;
    const Pixel green = frame.At(100, 300);
    EXPECT_GT(green[1], 100);
    EXPECT_LT(green[0], 20);
    const Pixel textured = frame.At(200, 300);
    EXPECT_GT(textured[0], 100);
    EXPECT_EQ(textured[0], textured[2]);  // white, not the material's blue
    const Pixel carriage = frame.At(300, 120);
    EXPECT_GT(carriage[0], 100);
    EXPECT_EQ(carriage[0], carriage[1]);
    EXPECT_EQ(frame.At(450, 120), (Pixel{0, 0, 51}));
}

}  // namespace
