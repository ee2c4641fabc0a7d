#include "console/scene_math.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arm/arm.h"
#include "console/arm_mesh_layout.h"

namespace {

using arm::kPi;

// The length of the first `length` characters of `text` without the
// trailing zeros after a decimal point (the point stays).
std::size_t WithoutTrailingZeros(const char* text, std::size_t length) {
    if (std::memchr(text, '.', length) == nullptr) {
        return length;
    }
    while (text[length - 1] == '0') {
        --length;
    }
    return length;
}

}  // namespace

ReadoutReal FormatReadoutReal(float value) {
    ReadoutReal readout{};
    char* text = readout.text;
    constexpr std::size_t kSize = sizeof readout.text;
    if (!std::isfinite(value)) {
        std::snprintf(text, kSize, "%g", value);
        return readout;
    }
    // The exponent after rounding to five significant digits decides.
    std::snprintf(text, kSize, "%.4e", value);
    const char* mark = std::strchr(text, 'e');
    const int exponent = std::atoi(mark + 1);
    if (exponent < -1 || exponent > 4) {
        const std::size_t mantissa =
            WithoutTrailingZeros(text, static_cast<std::size_t>(mark - text));
        std::snprintf(text + mantissa, kSize - mantissa, "e%c%03d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
        return readout;
    }
    std::snprintf(text, kSize, "%#.*f", 4 - exponent, value);
    text[WithoutTrailingZeros(text, std::strlen(text))] = '\0';
    return readout;
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
    // One turn of the wheel moves the carriage by its circumference.
    constexpr double kWheelDiameter = arm::kCarriageWheelDiameterMm / kArmMmPerSceneUnit;
    return static_cast<float>(carriageAngle / 360.0 * kPi * kWheelDiameter + kArmCarriageRestShift);
}
