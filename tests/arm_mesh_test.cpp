#include "tools/arm_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "loader3ds/chunk_writer.h"
#include "loader3ds/model_loader.h"
#include "tests/model_invariants.h"

namespace {

struct Box {
    Vec3 low, high;
    Vec3 Centre() const {
        return {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    }
};

Box BoundsOf(const MeshObject& object) {
    Box box{object.vertices.front(), object.vertices.front()};
    for (const Vec3& v : object.vertices) {
        box.low = {std::min(box.low.x, v.x), std::min(box.low.y, v.y), std::min(box.low.z, v.z)};
        box.high = {std::max(box.high.x, v.x), std::max(box.high.y, v.y),
                    std::max(box.high.z, v.z)};
    }
    return box;
}

// The arm mesh as the console reads it back from the file.
class ArmMesh : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(WriteModel(BuildArmModel(), "Drawing1.3ds"));
        testing::internal::CaptureStderr();
        loaded_ = ModelLoader().ImportModel(model_, "Drawing1.3ds");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_TRUE(loaded_);
        ASSERT_EQ(InvariantViolation(model_), "");
    }

    int IndexOf(const char* name) const {
        for (int i = 0; i < model_.objectCount; ++i) {
            if (std::strcmp(model_.objects[i].name, name) == 0) {
                return i;
            }
        }
        return -1;
    }

    Model model_;
    bool loaded_ = false;
};

TEST_F(ArmMesh, HasTheSceneObjectOrderAndColours) {
    ASSERT_EQ(model_.objectCount, kArmFrameObjects + kArmCarriageObjects + kArmHelperObjects);
    EXPECT_LT(IndexOf("Rail"), kArmFrameObjects);
    for (const char* rider : {"Carriage", "ShoulderHousing"}) {
        EXPECT_GE(IndexOf(rider), kArmFrameObjects) << rider;
        EXPECT_LT(IndexOf(rider), kArmFrameObjects + kArmCarriageObjects) << rider;
    }
    EXPECT_GE(IndexOf("HelperOrigin"), model_.objectCount - kArmHelperObjects);
    for (const MeshObject& object : model_.objects) {
        EXPECT_GT(object.faceCount, 0) << object.name;
        EXPECT_GE(object.materialId, 0) << object.name;
        EXPECT_FALSE(object.hasTexture) << object.name;
    }
}

// The view shifts the housing and the links by the same carriage offset.
TEST_F(ArmMesh, ShoulderHousingMeetsTheUpperLink) {
    const int housing = IndexOf("ShoulderHousing");
    ASSERT_GE(housing, 0);
    const Vec3 centre = BoundsOf(model_.objects[housing]).Centre();
    EXPECT_NEAR(centre.x, kArmShoulder.x, 1e-3);
    EXPECT_NEAR(centre.y, kArmShoulder.y, 1e-3);
    EXPECT_NEAR(centre.z, kArmShoulder.z, 1e-3);
}

TEST_F(ArmMesh, NormalsFaceOutwardOnEveryPart) {
    // Each part is one box or cylinder, so the lit side must face away from its centre.
    for (const MeshObject& object : model_.objects) {
        const Vec3 c = BoundsOf(object).Centre();
        for (int i = 0; i < object.vertexCount; ++i) {
            const Vec3& v = object.vertices[i];
            const Vec3& n = object.normals[i];
            EXPECT_GT(n.x * (v.x - c.x) + n.y * (v.y - c.y) + n.z * (v.z - c.z), 0.0f)
                << object.name << " vertex " << i;
        }
    }
}

}  // namespace
