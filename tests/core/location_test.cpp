// The own location as written in quillon.ini; distance and bearing against published values.
#include <gtest/gtest.h>

#include "aprs/location.h"

namespace quillon::test { namespace {

TEST(Location, DecimalDegreesOrTheCentreOfAMaidenheadSquare)
{
    const struct { const char* text; GeoPoint point; } cases[] = {
        {"48.1375,11.5755", {48.1375, 11.5755}},  // Munich
        {" -33.8568 , 151.2153 ", {-33.8568, 151.2153}},  // Sydney: south and east, blanks around
        {"90,-180", {90, -180}},
        {"jn58td", {48.145833, 11.625}},  // east of the square Munich's centre is in, in small letters
        {"JN58SD42", {48.135417, 11.5375}},
    };
    for (const auto& c : cases) {
        const std::optional<GeoPoint> point = ParseLocation(c.text);
        ASSERT_TRUE(point) << c.text;
        EXPECT_NEAR(point->latitude, c.point.latitude, 1e-6) << c.text;
        EXPECT_NEAR(point->longitude, c.point.longitude, 1e-6) << c.text;
    }
    for (const char* none : {"", "JN5", "JN58S", "JN58SD4", "JN58SD42AB", "JS58", "JN5A", "JN58SY", "JN58SDA2", "90.5,0",
                             "0,180.01", "48,1375,11,5755", "48.1375", "48.1375,", "48.1375 11.5755", "4.8e1,11", "nan,0",
                             "48.1375N,11.5755E"})
        EXPECT_FALSE(ParseLocation(none)) << '"' << none << '"';
}

TEST(Location, GreatCircleDistanceAndInitialBearing)
{
    const GeoPoint munich{48.1375, 11.5755};
    const GeoPoint landsEnd{50 + 3 / 60.0 + 59 / 3600.0, -(5 + 42 / 60.0 + 53 / 3600.0)};
    const GeoPoint johnOGroats{58 + 38 / 60.0 + 38 / 3600.0, -(3 + 4 / 60.0 + 12 / 3600.0)};
    const struct { const char* what; GeoPoint from; GeoPoint to; double km; int bearing; } cases[] = {
        {"Land's End to John o' Groats", landsEnd, johnOGroats, 968.9, 9},  // 009 deg 07 min
        {"and back", johnOGroats, landsEnd, 968.9, 191},
        {"due west", {0, 0}, {0, -1}, 111.2, 270},
        {"a hair west of north: 359.7 rounds to north", {0, 0}, {10, -0.05}, 1112.0, 0},
        {"nowhere", munich, munich, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(DistanceKm(c.from, c.to), c.km, 0.05) << c.what;
        EXPECT_EQ(BearingDegrees(c.from, c.to), c.bearing) << c.what;
    }
}

}  // namespace
}  // namespace quillon::test
