#include "console/scene_math.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ReadoutFormat, FixedNotationKeepsThePoint) {
    EXPECT_STREQ(FormatReadoutReal(12.0f).text, "12.");
    EXPECT_STREQ(FormatReadoutReal(0.0f).text, "0.");
    EXPECT_STREQ(FormatReadoutReal(-3.9067714f).text, "-3.9068");
    EXPECT_STREQ(FormatReadoutReal(15.0f).text, "15.");
    EXPECT_STREQ(FormatReadoutReal(0.12345f).text, "0.12345");
    EXPECT_STREQ(FormatReadoutReal(12345.4f).text, "12345.");
    EXPECT_STREQ(FormatReadoutReal(-5.0f).text, "-5.");
}

TEST(ReadoutFormat, ExponentNotationOutsideTheFixedRange) {
    EXPECT_STREQ(FormatReadoutReal(0.0012346f).text, "1.2346e-003");
    EXPECT_STREQ(FormatReadoutReal(123456.7f).text, "1.2346e+005");
    EXPECT_STREQ(FormatReadoutReal(-0.05f).text, "-5.e-002");
    EXPECT_STREQ(FormatReadoutReal(1.0e-20f).text, "1.e-020");
    // Rounding to five digits can carry into the next decade.
    EXPECT_STREQ(FormatReadoutReal(99999.9f).text, "1.e+005");
    EXPECT_STREQ(FormatReadoutReal(0.0999999f).text, "0.1");
}

TEST(ReadoutFormat, NonFiniteValuesStayReadable) {
    EXPECT_STREQ(FormatReadoutReal(INFINITY).text, "inf");
    EXPECT_STREQ(FormatReadoutReal(-INFINITY).text, "-inf");
}

namespace {

// Far end of a cylinder of `height` along +z after the link's placement.
void FarEnd(const LinkPlacement& link, double height, double end[3]) {
    const double angle = link.angle * 3.141592653589793 / 180.0;
    end[0] = link.x;
    end[1] = link.y - height * std::sin(angle);
    end[2] = link.z + height * std::cos(angle);
}

}  // namespace

TEST(LinkChain, AtTheHomeCountsUpperAt105AndLowerAtMinus180) {
    const float angles[5] = {0.0f, 15.0f, 75.0f, 0.0f, 0.0f};
    const auto links = PlaceLinks(angles);
    EXPECT_FLOAT_EQ(links[0].angle, 105.0f);
    EXPECT_FLOAT_EQ(links[1].angle, -180.0f);
    EXPECT_FLOAT_EQ(links[2].angle, -180.0f);
    EXPECT_FLOAT_EQ(links[0].y, 180.0f);
    EXPECT_FLOAT_EQ(links[0].z, -30.0f);
    EXPECT_FLOAT_EQ(CarriageOffset(0.0f), -20.0f);
    EXPECT_NEAR(CarriageOffset(360.0f) - CarriageOffset(0.0f), 11.0 * 3.141592653589, 1e-4);
}

// The chain hangs from the carriage: wherever the carriage stands, the links
// sit the carriage objects' offset away from the shoulder's rest place.
TEST(LinkChain, RidesWithTheCarriage) {
    for (const float carriage : {0.0f, 1562.0f / 2816.0f * 360.0f, -500.0f, 20000.0f}) {
        SCOPED_TRACE(carriage);
        const float angles[5] = {carriage, 15.0f, 75.0f, 0.0f, 0.0f};
        for (const LinkPlacement& link : PlaceLinks(angles)) {
            EXPECT_FLOAT_EQ(link.x, 106.0f + CarriageOffset(carriage));
        }
    }
    const float atRest[5] = {0.0f, 15.0f, 75.0f, 0.0f, 0.0f};
    EXPECT_FLOAT_EQ(PlaceLinks(atRest)[0].x, 86.0f);
}

TEST(LinkChain, EachLinkStartsWhereTheOneBeforeEnds) {
    const float poses[][5] = {
        {0, 15, 75, 0, 0}, {0, -40, 10, 30, 0}, {90, 120, 200, -75, 0}, {0, 0, 0, 0, 0}};
    const double heights[2] = {50.0, 30.0};
    for (const auto& angles : poses) {
        const auto links = PlaceLinks(angles);
        for (int k = 0; k < 2; ++k) {
            double end[3];
            FarEnd(links[k], heights[k], end);
            EXPECT_NEAR(end[0], links[k + 1].x, 1e-3);
            EXPECT_NEAR(end[1], links[k + 1].y, 1e-3);
            EXPECT_NEAR(end[2], links[k + 1].z, 1e-3);
        }
    }
}
