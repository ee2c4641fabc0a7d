#include "tools/arm_mesh.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace {

constexpr int kCylinderSegments = 16;

Vec3 Minus(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

int AddVertex(MeshObject& object, const Vec3& vertex) {
    object.vertices.push_back(vertex);
    return object.vertexCount++;
}

// Adds the triangle wound so that (B - A) x (C - A), the side the view
// lights, faces `outward`.
void AddTriangle(MeshObject& object, int a, int b, int c, const Vec3& outward) {
    const Vec3& va = object.vertices[a];
    if (Dot(Cross(Minus(object.vertices[b], va), Minus(object.vertices[c], va)), outward) < 0) {
        std::swap(b, c);
    }
    object.faces.push_back({{a, b, c}});
    ++object.faceCount;
}

// Four corners in order round the quad; own vertices, so edges stay sharp.
void AddQuad(MeshObject& object, const Vec3 (&corners)[4], const Vec3& outward) {
    int index[4];
    for (int i = 0; i < 4; ++i) {
        index[i] = AddVertex(object, corners[i]);
    }
    AddTriangle(object, index[0], index[1], index[2], outward);
    AddTriangle(object, index[0], index[2], index[3], outward);
}

void AddBox(MeshObject& object, const Vec3& low, const Vec3& high) {
    const float x0 = low.x, y0 = low.y, z0 = low.z, x1 = high.x, y1 = high.y, z1 = high.z;
    AddQuad(object, {{x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}, {x0, y0, z1}}, {-1, 0, 0});
    AddQuad(object, {{x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}}, {1, 0, 0});
    AddQuad(object, {{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}}, {0, -1, 0});
    AddQuad(object, {{x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}}, {0, 1, 0});
    AddQuad(object, {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}}, {0, 0, -1});
    AddQuad(object, {{x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}}, {0, 0, 1});
}

// A closed cylinder along x from `fromX` to `toX` round the axis through
// (y, z) = (centre.y, centre.z): a smooth side and two flat caps.
void AddCylinderAlongX(MeshObject& object, const Vec3& centre, float radius, float fromX,
                       float toX) {
    Vec3 ring[kCylinderSegments];
    for (int i = 0; i < kCylinderSegments; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / kCylinderSegments;
        ring[i] = {0.0f, static_cast<float>(radius * std::cos(angle)),
                   static_cast<float>(radius * std::sin(angle))};
    }
    auto at = [&](float x, const Vec3& offset) {
        return Vec3{x, centre.y + offset.y, centre.z + offset.z};
    };
    const int side = object.vertexCount;
    for (const Vec3& offset : ring) {
        AddVertex(object, at(fromX, offset));
        AddVertex(object, at(toX, offset));
    }
    for (int i = 0; i < kCylinderSegments; ++i) {
        const int j = (i + 1) % kCylinderSegments;
        const Vec3 outward = {0.0f, ring[i].y + ring[j].y, ring[i].z + ring[j].z};
        AddTriangle(object, side + 2 * i, side + 2 * j, side + 2 * j + 1, outward);
        AddTriangle(object, side + 2 * i, side + 2 * j + 1, side + 2 * i + 1, outward);
    }
    for (const float x : {fromX, toX}) {
        const Vec3 outward = {x == fromX ? -1.0f : 1.0f, 0.0f, 0.0f};
        const int middle = AddVertex(object, at(x, {0.0f, 0.0f, 0.0f}));
        const int rim = object.vertexCount;
        for (const Vec3& offset : ring) {
            AddVertex(object, at(x, offset));
        }
        for (int i = 0; i < kCylinderSegments; ++i) {
            AddTriangle(object, middle, rim + i, rim + (i + 1) % kCylinderSegments, outward);
        }
    }
}

int AddMaterial(Model& model, const char* name, unsigned char red, unsigned char green,
                unsigned char blue) {
    MeshMaterial material{};
    std::strncpy(material.name, name, kMeshNameSize - 1);
    material.colour[0] = red;
    material.colour[1] = green;
    material.colour[2] = blue;
    model.materials.push_back(material);
    return model.materialCount++;
}

MeshObject& AddObject(Model& model, const char* name, int materialId) {
    MeshObject object{};
    std::strncpy(object.name, name, kMeshNameSize - 1);
    object.materialId = materialId;
    model.objects.push_back(object);
    ++model.objectCount;
    return model.objects.back();
}

}  // namespace

Model BuildArmModel() {
    Model model;
    const int frame = AddMaterial(model, "FrameBlue", 70, 90, 130);
    const int rail = AddMaterial(model, "RailSteel", 175, 175, 185);
    const int floor = AddMaterial(model, "FloorGrey", 80, 85, 80);
    const int carriage = AddMaterial(model, "CarriageOrange", 235, 125, 25);
    const int housing = AddMaterial(model, "HousingRed", 175, 35, 35);
    const int motor = AddMaterial(model, "MotorBlack", 40, 40, 45);
    const int helper = AddMaterial(model, "HelperGreen", 40, 200, 40);

    // Fixed frame: a gantry whose top beam is the carriage rail. The arm
    // hangs from the carriage, the shoulder axis along x.
    const float railY = kArmShoulder.y + 30.0f, railZ = kArmShoulder.z;
    AddBox(AddObject(model, "Floor", floor), {-40, -2, -130}, {340, 0, 70});
    AddBox(AddObject(model, "FootLeft", frame), {-20, 0, railZ - 40}, {40, 8, railZ + 40});
    AddBox(AddObject(model, "FootRight", frame), {260, 0, railZ - 40}, {320, 8, railZ + 40});
    AddBox(AddObject(model, "PostLeft", frame), {0, 8, railZ - 10}, {20, railY + 20, railZ + 10});
    AddBox(AddObject(model, "PostRight", frame), {280, 8, railZ - 10},
           {300, railY + 20, railZ + 10});
    AddBox(AddObject(model, "Rail", rail), {20, railY - 5, railZ - 8}, {280, railY + 5, railZ + 8});
    AddBox(AddObject(model, "Brace", frame), {20, 40, railZ - 6}, {280, 52, railZ + 6});

    // Carriage objects, built around the upper link's start: the view moves
    // them and the links by the same carriage offset.
    const float x = kArmShoulder.x;
    const Vec3 shoulder{x, kArmShoulder.y, kArmShoulder.z};
    AddBox(AddObject(model, "Carriage", carriage), {x - 18, railY - 9, railZ - 14},
           {x + 18, railY + 10, railZ + 14});
    AddBox(AddObject(model, "CarriageMotor", motor), {x - 8, railY + 10, railZ - 6},
           {x + 8, railY + 22, railZ + 6});
    AddBox(AddObject(model, "Hanger", carriage), {x - 6, shoulder.y + 8, railZ - 6},
           {x + 6, railY - 9, railZ + 6});
    AddCylinderAlongX(AddObject(model, "ShoulderHousing", housing), shoulder, 9.0f, x - 12, x + 12);
    AddCylinderAlongX(AddObject(model, "ShoulderMotor", motor), shoulder, 6.0f, x + 12, x + 26);

    // Helpers: reference marks that the console leaves undrawn.
    const Vec3 marks[kArmHelperObjects] = {{0, 0, 0}, kArmShoulder, {150, 100, 0}, {150, 250, 100}};
    const char* names[kArmHelperObjects] = {"HelperOrigin", "HelperShoulder", "HelperTarget",
                                            "HelperLight"};
    for (int i = 0; i < kArmHelperObjects; ++i) {
        const Vec3& m = marks[i];
        AddBox(AddObject(model, names[i], helper), {m.x - 1, m.y - 1, m.z - 1},
               {m.x + 1, m.y + 1, m.z + 1});
    }
    return model;
}
