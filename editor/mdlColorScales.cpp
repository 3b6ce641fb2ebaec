#include "editor/mdlColorScales.h"

#include "rom/mdlEncodings.h"

#include <algorithm>
#include <cmath>

namespace {

// Floor and round-half-even into an integer, with the argument held far
// inside the range of long long (only the low byte survives RGB anyway, but
// a cast of an out-of-range double is undefined).
constexpr double Limit = 1e15;

long long floorInt(double x) { return static_cast<long long>(std::floor(std::clamp(x, -Limit, Limit))); }

long long roundInt(double x) { return static_cast<long long>(roundEven(std::clamp(x, -Limit, Limit))); }

} // namespace

TColor FuelColor(double x)
{
    if (std::isnan(x))
        x = 0;
    if (x >= 400) {
        const long long g = x >= 1200 ? 0 : 255 - floorInt((x - 400) / 3.2);
        return RGB(255, g, 0);
    }
    return RGB(floorInt(x / 1.6), 255, -floorInt(x / 1.7) - 16);
}

TColor IgnitionColor(double x)
{
    if (std::isnan(x) || x <= 0)
        return RGB(0, 255, 240);
    if (x >= 30) {
        const long long g = x >= 60 ? 0 : 255 - floorInt((x - 30) / 0.12);
        return RGB(255, g, 0);
    }
    return RGB(floorInt(x / 0.12), 255, -floorInt(x / 0.13) - 16);
}

TColor LambdaColor(double x)
{
    x = std::isnan(x) ? 0.5 : std::clamp(x, 0.5, 1.5);
    if (x <= 1)
        return RGB(255, floorInt((x - 0.5) * 510), 0);
    return RGB(255 - floorInt((x - 1) * 510), 255, floorInt((x - 1) / 0.00208));
}

TColor DifferenceColor(double x, double hi, double mid, double lo)
{
    if (std::isnan(x) || x <= lo)
        return RGB(0, 255, 240);
    if (x >= mid) {
        // A band of zero width (hi <= mid) goes straight to red.
        const long long g = (x >= hi || hi <= mid) ? 0 : 255 - floorInt((x - mid) * 250 / (hi - mid));
        return RGB(255, g, 0);
    }
    const double e = x - lo;
    const double d = mid - lo; // > 0 here: lo < x < mid
    return RGB(roundInt(e * 250 / d), 255, -roundInt(e * 235 / d) - 16);
}
