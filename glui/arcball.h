// Arcball geometry of the rotation control: a drag across a square pad
// turns a column-major 4 x 4 matrix as if the operator rolled a ball.
#pragma once

namespace arcball {

// A vector in view space: a point on the ball or an axis of a turn.
struct ViewVector {
    float x, y, z;
};

struct Turn {
    ViewVector axis;  // unit axis in view space
    float angle;      // radians
};

// Point on the unit ball under pad pixel (x, y), the pad being `size`
// pixels square with y growing downwards; points outside the ball fall
// on its rim.
ViewVector BallPoint(float x, float y, float size);

// The turn that carries ball point `from` to `to` (angle 0 when equal).
Turn TurnBetween(ViewVector from, ViewVector to);

// matrix = R(turn) * matrix, so the turn happens in view space.
void ApplyTurn(const Turn& turn, float matrix[16]);

}  // namespace arcball
