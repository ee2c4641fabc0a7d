// Smoothed per-vertex normals of a triangle mesh, as the 3D view lights it.
#pragma once

#include <vector>

#include "loader3ds/model_loader.h"

// The normal a vertex gets when no face gives it a direction.
constexpr Vec3 kDefaultNormal{0.0f, 1.0f, 0.0f};

// (A - C) x (C - B) for the face's vertices A, B, C; not normalised.
Vec3 FaceNormal(const std::vector<Vec3>& vertices, const Face& face);

// The normal of a vertex from the sum of the normals of the `faceCount`
// faces that use it: the sum divided by -faceCount, scaled to unit length.
// kDefaultNormal when no face uses the vertex or the sum has no direction.
Vec3 VertexNormal(const Vec3& faceNormalSum, int faceCount);

// One normal per vertex. Each vertex sums the normals of the faces that use
// it (once per face, in face order); the cost is linear in vertices plus
// faces. Every face index must lie below vertices.size().
std::vector<Vec3> SmoothNormals(const std::vector<Vec3>& vertices, const std::vector<Face>& faces);
