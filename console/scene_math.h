// Pure parts of the 3D view: the readouts' number format and where the link
// cylinders and the carriage sit for given joint angles.
#pragma once

#include <array>

#include "arm/arm.h"

// A real as the readouts show it: five significant digits, fixed notation
// for decimal exponents -1 to 4 and exponent notation otherwise, trailing
// zeros after the point removed (the point stays), exponent with its sign
// and three digits: 12 -> "12.", 0.0012346 -> "1.2346e-003". Held in a
// fixed buffer, so the readouts format every frame without allocating.
struct ReadoutReal {
    char text[24];
};
ReadoutReal FormatReadoutReal(float value);

// Where one link cylinder is drawn: translated to (x, y, z), then turned
// by `angle` degrees about the x axis.
struct LinkPlacement {
    float x, y, z;
    float angle;
};

// Upper, lower and end link for the joint angles of the readout (degrees):
// each link starts at the far end of the one before.
std::array<LinkPlacement, 3> PlaceLinks(const float jointAngles[arm::kEncoderChannelCount]);

// Shift of the carriage objects along x for the carriage motor angle in
// degrees.
float CarriageOffset(float carriageAngle);
