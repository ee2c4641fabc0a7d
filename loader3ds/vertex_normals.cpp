#include "loader3ds/vertex_normals.h"

#include <cmath>

Vec3 FaceNormal(const std::vector<Vec3>& vertices, const Face& face) {
    const Vec3& a = vertices[face.vertexIndex[0]];
    const Vec3& b = vertices[face.vertexIndex[1]];
    const Vec3& c = vertices[face.vertexIndex[2]];
    const double ux = double{a.x} - c.x, uy = double{a.y} - c.y, uz = double{a.z} - c.z;
    const double vx = double{c.x} - b.x, vy = double{c.y} - b.y, vz = double{c.z} - b.z;
    return {static_cast<float>(uy * vz - uz * vy), static_cast<float>(uz * vx - ux * vz),
            static_cast<float>(ux * vy - uy * vx)};
}

Vec3 VertexNormal(const Vec3& faceNormalSum, int faceCount) {
    if (faceCount == 0) {
        return kDefaultNormal;
    }
    const double divisor = -static_cast<double>(faceCount);
    const Vec3 mean{static_cast<float>(faceNormalSum.x / divisor),
                    static_cast<float>(faceNormalSum.y / divisor),
                    static_cast<float>(faceNormalSum.z / divisor)};
    const double length =
        std::sqrt(double{mean.x} * mean.x + double{mean.y} * mean.y + double{mean.z} * mean.z);
    // Zero-area faces give no direction; overflowing or NaN coordinates none either.
    if (!(length > 0.0) || !std::isfinite(length)) {
        return kDefaultNormal;
    }
    return {static_cast<float>(mean.x / length), static_cast<float>(mean.y / length),
            static_cast<float>(mean.z / length)};
}

std::vector<Vec3> SmoothNormals(const std::vector<Vec3>& vertices, const std::vector<Face>& faces) {
    std::vector<Vec3> sums(vertices.size(), Vec3{0.0f, 0.0f, 0.0f});
    std::vector<int> counts(vertices.size(), 0);
    auto add = [&](int vertex, const Vec3& normal) {
        sums[vertex].x += normal.x;
        sums[vertex].y += normal.y;
        sums[vertex].z += normal.z;
        ++counts[vertex];
    };
    for (const Face& face : faces) {
        const Vec3 normal = FaceNormal(vertices, face);
        const int a = face.vertexIndex[0], b = face.vertexIndex[1], c = face.vertexIndex[2];
        // A face that names a vertex twice counts for it once.
        add(a, normal);
        if (b != a) {
            add(b, normal);
        }
        if (c != a && c != b) {
            add(c, normal);
        }
    }
    std::vector<Vec3> normals(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        normals[i] = VertexNormal(sums[i], counts[i]);
    }
    return normals;
}
