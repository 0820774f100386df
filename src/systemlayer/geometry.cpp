#include "systemlayer/geometry.h"

#include <algorithm>
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

TLinePoint* Tlineobj::AddPoint(int32_t x, int32_t y)
{
    auto p = std::make_unique<TLinePoint>();
    p->X = static_cast<float>(x);
    p->Y = static_cast<float>(y);
    Points.push_back(std::move(p));
    return Points.back().get();
}

void Tlineobj::ClearPoints()
{
    Points.clear();
}

double Tlineobj::Distance(const TLinePoint& a, const TLinePoint& b)
{
    double dx = static_cast<double>(b.X) - a.X;
    double dy = static_cast<double>(b.Y) - a.Y;
    return std::sqrt(dx * dx + dy * dy);
}

bool Tlineobj::HitTest(int32_t x, int32_t y)
{
    for (size_t i = 0; i + 1 < Points.size(); ++i) {
        TLinePoint& p = *Points[i];
        TLinePoint& q = *Points[i + 1];
        if (p.X == q.X)
            q.X += 1;
        double dx = static_cast<double>(q.X) - p.X;
        double dy = static_cast<double>(q.Y) - p.Y;
        double len2 = dx * dx + dy * dy; // never zero: dx is at least 1 here or was already non-zero
        double u = ((x - static_cast<double>(p.X)) * dx + (y - static_cast<double>(p.Y)) * dy) / len2;
        TLinePoint foot;
        foot.X = static_cast<float>(p.X + u * dx);
        foot.Y = static_cast<float>(p.Y + u * dy);
        bool inBox = foot.X >= std::min(p.X, q.X) && foot.X <= std::max(p.X, q.X) &&
                     foot.Y >= std::min(p.Y, q.Y) && foot.Y <= std::max(p.Y, q.Y);
        if (!inBox)
            continue;
        TLinePoint at;
        at.X = static_cast<float>(x);
        at.Y = static_cast<float>(y);
        if (Distance(at, foot) < HitTolerance)
            return true;
    }
    return false;
}

} // namespace telvo
