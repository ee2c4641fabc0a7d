// What the view expects of the arm mesh in "Resources/Drawing1.3ds", and so
// what the mesh generator builds. Objects come in this order: the fixed
// frame, then the objects that ride on the carriage, then helpers that are
// never drawn.
#pragma once

#include "loader3ds/model_loader.h"

constexpr int kArmFrameObjects = 7;
constexpr int kArmCarriageObjects = 5;
constexpr int kArmHelperObjects = 4;

// Where the upper link starts in the scene, and the carriage shift the view
// applies when the carriage readout is 0: the carriage objects are built
// kArmCarriageRestShift further along x so that the shoulder housing sits on
// the link's start at rest.
constexpr Vec3 kArmShoulder{106.0f, 180.0f, -30.0f};
constexpr float kArmCarriageRestShift = -20.0f;
