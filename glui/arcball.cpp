#include "glui/arcball.h"

#include <cmath>

namespace arcball {

ViewVector BallPoint(float x, float y, float size) {
    const float radius = size / 2.0f;
    ViewVector p{(x - radius) / radius, (radius - y) / radius, 0.0f};
    const float squared = p.x * p.x + p.y * p.y;
    if (squared <= 1.0f) {
        p.z = std::sqrt(1.0f - squared);
    } else {
        const float length = std::sqrt(squared);
        p.x /= length;
        p.y /= length;
    }
    return p;
}

Turn TurnBetween(ViewVector from, ViewVector to) {
    ViewVector axis{from.y * to.z - from.z * to.y, from.z * to.x - from.x * to.z,
                    from.x * to.y - from.y * to.x};
    const float length = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    const float dot = from.x * to.x + from.y * to.y + from.z * to.z;
    if (length < 1e-7f) {
        return {{0.0f, 0.0f, 1.0f}, 0.0f};
    }
    axis = {axis.x / length, axis.y / length, axis.z / length};
    return {axis, std::atan2(length, dot)};
}

void ApplyTurn(const Turn& turn, float matrix[16]) {
    const float c = std::cos(turn.angle);
    const float s = std::sin(turn.angle);
    const float t = 1.0f - c;
    const ViewVector& a = turn.axis;
    // Rotation matrix r[row][column].
    const float r[3][3] = {
        {t * a.x * a.x + c, t * a.x * a.y - s * a.z, t * a.x * a.z + s * a.y},
        {t * a.x * a.y + s * a.z, t * a.y * a.y + c, t * a.y * a.z - s * a.x},
        {t * a.x * a.z - s * a.y, t * a.y * a.z + s * a.x, t * a.z * a.z + c},
    };
    for (int column = 0; column < 4; ++column) {
        float* m = matrix + 4 * column;
        const float x = m[0], y = m[1], z = m[2];
        for (int row = 0; row < 3; ++row) {
            m[row] = r[row][0] * x + r[row][1] * y + r[row][2] * z;
        }
    }
}

}  // namespace arcball
