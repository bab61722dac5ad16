// Where a station is: a point on the earth, read from the text a user writes
// for their own station, and the distance and bearing between two points.
#pragma once

#include <optional>
#include <string_view>

namespace quillon {

// Decimal degrees, north and east positive.
struct GeoPoint {
    double latitude = 0;
    double longitude = 0;
};

// The point a text names, or nothing when it names none:
//   "48.1375,11.5755"   decimal degrees, latitude first, north and east
//                       positive ("-33.8568, 151.2153": blanks around either
//                       number are fine); beyond +-90 or +-180 is no point
//   "JN58", "JN58sd", "JN58sd42"
//                       a Maidenhead locator of 4, 6 or 8 characters, either
//                       case: the centre of the square it names
std::optional<GeoPoint> ParseLocation(std::string_view text);

// The great-circle distance in km on a sphere of the earth's mean radius
// (6371 km); off by at most half a percent against the ellipsoid.
double DistanceKm(GeoPoint from, GeoPoint to);

// The initial bearing from `from` towards `to`, in whole degrees true,
// 0 to 359 (north 0, east 90); 0 from a point to itself.
int BearingDegrees(GeoPoint from, GeoPoint to);

}  // namespace quillon
