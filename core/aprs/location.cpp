#include "location.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace quillon {

namespace {

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

std::string_view Trimmed(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A whole text as a decimal number: digits with an optional sign and point,
// no exponent, nothing after it.
std::optional<double> Decimal(std::string_view s)
{
    s = Trimmed(s);
    double value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed);
    if (s.empty() || error != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

std::optional<GeoPoint> DecimalDegrees(std::string_view text)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const std::optional<double> latitude = Decimal(text.substr(0, comma));
    const std::optional<double> longitude = Decimal(text.substr(comma + 1));
    // Written so that NaN fails too.
    if (!latitude || !longitude || !(std::abs(*latitude) <= 90) || !(std::abs(*longitude) <= 180))
        return std::nullopt;
    return GeoPoint{*latitude, *longitude};
}

// A Maidenhead locator is pairs of characters, longitude first, each pair
// dividing the square the pairs before it name:
//
//   J N  5 8  s d  4 2
//   field    A-R: 18 x 18 of 20 x 10 degrees, from 180 W, 90 S
//   square   0-9: 10 x 10 of 2 x 1 degrees
//   subsq.   A-X: 24 x 24 of 5 x 2.5 minutes
//   extended 0-9: 10 x 10 of 30 x 15 seconds
std::optional<GeoPoint> Maidenhead(std::string_view text)
{
    if (text.size() != 4 && text.size() != 6 && text.size() != 8)
        return std::nullopt;
    struct Pair {
        char first;
        char last;
        double longitudeStep;
        double latitudeStep;
    };
    static constexpr Pair kPairs[] = {
        {'A', 'R', 20.0, 10.0}, {'0', '9', 2.0, 1.0}, {'A', 'X', 5.0 / 60, 2.5 / 60}, {'0', '9', 0.5 / 60, 0.25 / 60}};
    GeoPoint point{-90.0, -180.0};
    double longitudeStep = 0;
    double latitudeStep = 0;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const Pair& pair = kPairs[i / 2];
        const auto index = [&](char c) {
            if (pair.first == 'A' && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            return c >= pair.first && c <= pair.last ? c - pair.first : -1;
        };
        const int x = index(text[i]);
        const int y = index(text[i + 1]);
        if (x < 0 || y < 0)
            return std::nullopt;
        longitudeStep = pair.longitudeStep;
        latitudeStep = pair.latitudeStep;
        point.longitude += x * longitudeStep;
        point.latitude += y * latitudeStep;
    }
    point.longitude += longitudeStep / 2;
    point.latitude += latitudeStep / 2;
    return point;
}

}  // namespace

std::optional<GeoPoint> ParseLocation(std::string_view text)
{
    text = Trimmed(text);
    if (text.find(',') != std::string_view::npos)
        return DecimalDegrees(text);
    return Maidenhead(text);
}

// The haversine formula, which stays exact for short distances.
double DistanceKm(GeoPoint from, GeoPoint to)
{
    const double lat1 = from.latitude * kRadiansPerDegree;
    const double lat2 = to.latitude * kRadiansPerDegree;
    const double sinHalfLat = std::sin((lat2 - lat1) / 2);
    const double sinHalfLon = std::sin((to.longitude - from.longitude) * kRadiansPerDegree / 2);
    const double h = sinHalfLat * sinHalfLat + std::cos(lat1) * std::cos(lat2) * sinHalfLon * sinHalfLon;
    return 2 * kEarthRadiusKm * std::asin(std::sqrt(std::min(h, 1.0)));
}

int BearingDegrees(GeoPoint from, GeoPoint to)
{
    const double lat1 = from.latitude * kRadiansPerDegree;
    const double lat2 = to.latitude * kRadiansPerDegree;
    const double dLon = (to.longitude - from.longitude) * kRadiansPerDegree;
    const double y = std::sin(dLon) * std::cos(lat2);
    const double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dLon);
    const double degrees = std::atan2(y, x) / kRadiansPerDegree;  // -180 to 180
    // 359.6 rounds to 360, which is north again.
    return static_cast<int>(std::lround(degrees + 360)) % 360;
}

}  // namespace quillon
