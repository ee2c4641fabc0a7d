// What the view expects of the arm mesh in "Resources/Drawing1.3ds", and so
// what the mesh generator builds. Objects come in this order: the fixed
// frame, then the objects that ride on the carriage, then helpers that are
// never drawn.
#pragma once

#include "loader3ds/model_loader.h"

constexpr int kArmFrameObjects = 7;
constexpr int kArmCarriageObjects = 5;
constexpr int kArmHelperObjects = 4;

// Where the upper link starts in the scene before the carriage offset, and
// that offset's value when the carriage readout is 0. The carriage objects
// are built around the link's start and the view shifts them and the three
// links by the same offset, so the shoulder housing holds the chain at every
// carriage position.
constexpr Vec3 kArmShoulder{106.0f, 180.0f, -30.0f};
constexpr float kArmCarriageRestShift = -20.0f;
// The scene's length unit: one unit is 10 mm of the arm.
constexpr double kArmMmPerSceneUnit = 10.0;
