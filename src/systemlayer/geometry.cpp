#include "systemlayer/geometry.h"

#include <cfenv>
#include <climits>
#include <cmath>

namespace telvo {

int32_t RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    // nearbyint honours the current rounding mode; the default mode is
    // round-to-nearest-even and nothing in the workbench changes it.
    double r = std::nearbyint(value);
    if (r >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    if (r <= static_cast<double>(INT32_MIN))
        return INT32_MIN;
    return static_cast<int32_t>(r);
}

} // namespace telvo
