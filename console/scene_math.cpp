#include "console/scene_math.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arm/arm.h"
#include "console/arm_mesh_layout.h"

namespace {

using arm::kPi;

// Drops trailing zeros after the decimal point, keeping the point.
std::string TrimZeros(std::string digits) {
    if (digits.find('.') != std::string::npos) {
        digits.erase(digits.find_last_not_of('0') + 1);
    }
    return digits;
}

}  // namespace

std::string FormatReadoutReal(float value) {
    char text[64];
    if (!std::isfinite(value)) {
        std::snprintf(text, sizeof text, "%g", value);
        return text;
    }
    // The exponent after rounding to five significant digits decides.
    std::snprintf(text, sizeof text, "%.4e", value);
    const char* mark = std::strchr(text, 'e');
    const int exponent = std::atoi(mark + 1);
    if (exponent < -1 || exponent > 4) {
        char tail[16];
        std::snprintf(tail, sizeof tail, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return TrimZeros(std::string(text, static_cast<std::size_t>(mark - text))) + tail;
    }
    std::snprintf(text, sizeof text, "%#.*f", 4 - exponent, value);
    return TrimZeros(text);
}

std::array<LinkPlacement, 3> PlaceLinks(const float jointAngles[arm::kEncoderChannelCount]) {
    const double a1 = jointAngles[1] * kPi / 180.0;
    const double a2 = (jointAngles[2] - arm::kElbowDegreesAtZero) * kPi / 180.0;
    const Vec3 shoulder = kArmShoulder;
    // The links hang from the carriage: they ride its offset as its objects do.
    const float x = shoulder.x + CarriageOffset(jointAngles[0]);
    const double lowerY = shoulder.y - 50.0 * std::cos(a1);
    const double lowerZ = shoulder.z - 50.0 * std::sin(a1);
    return {{
        {x, shoulder.y, shoulder.z, jointAngles[1] + 90.0f},
        {x, static_cast<float>(lowerY), static_cast<float>(lowerZ),
         jointAngles[2] - 180.0f - float(arm::kElbowDegreesAtZero)},
        {x, static_cast<float>(lowerY + 30.0 * std::sin(a2)),
         static_cast<float>(lowerZ - 30.0 * std::cos(a2)), jointAngles[3] - 180.0f},
    }};
}

float CarriageOffset(float carriageAngle) {
    return static_cast<float>(carriageAngle / 360.0 * kPi * 11.0 + kArmCarriageRestShift);
}
