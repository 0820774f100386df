#include "systemlayer/geometry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

using namespace telvo;

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbourAndExtremesAreClamped)
{
    struct Case {
        double In;
        int32_t Out;
    };
    const Case cases[] = {
        {0.5, 0},         {1.5, 2},          {2.5, 2},      {-0.5, 0},      {-1.5, -2},     {-2.5, -2},
        {2.4999, 2},      {2.5001, 3},       {12.5, 12},    {13.5, 14},     {1e12, INT32_MAX}, {-1e12, INT32_MIN},
        {std::numeric_limits<double>::infinity(), INT32_MAX}, {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RoundHalfEven(c.In), c.Out) << c.In;
}

namespace {

struct Route {
    std::vector<std::pair<int32_t, int32_t>> Points;
};

void Fill(Tlineobj& line, const Route& route)
{
    for (auto [x, y] : route.Points)
        line.AddPoint(x, y);
}

} // namespace

TEST(Polyline, HitTestWithinThreePixelsOfASegment)
{
    const Route horizontal{{{0, 10}, {100, 10}}};
    const Route vertical{{{20, 0}, {20, 100}}};
    const Route diagonal{{{0, 0}, {30, 40}}}; // direction (0.6, 0.8)
    const Route bent{{{0, 0}, {0, 50}, {80, 50}, {80, 90}}};
    struct Case {
        const char* What;
        Route Line;
        int32_t X, Y;
        bool Hit;
    };
    const Case cases[] = {
        {"on the line", horizontal, 50, 10, true},
        {"two pixels below", horizontal, 50, 12, true},
        {"two pixels above", horizontal, 50, 8, true},
        {"exactly three pixels away is outside", horizontal, 50, 13, false},
        {"three above is outside", horizontal, 50, 7, false},
        {"end point itself", horizontal, 100, 10, true},
        {"past the end, foot outside the segment", horizontal, 101, 10, false},
        {"before the start", horizontal, -1, 11, false},
        // A vertical segment is tilted one pixel to the right first, which
        // widens its hit band on the right by half a pixel.
        {"left of vertical, 2 px", vertical, 18, 50, true},
        {"left of vertical, 3 px", vertical, 17, 50, false},
        {"right of vertical, 3 px (tilted line)", vertical, 23, 50, true},
        {"right of vertical, 4 px", vertical, 24, 50, false},
        {"diagonal, 1.4 px off", diagonal, 16, 19, true},
        {"diagonal, 2.8 px off", diagonal, 17, 18, true},
        {"diagonal, 4.2 px off", diagonal, 18, 17, false},
        {"bent route, middle leg", bent, 40, 52, true},
        {"bent route, last leg", bent, 82, 70, true},
        {"bent route, inside the bend", bent, 40, 40, false},
    };
    for (const Case& c : cases) {
        Tlineobj line;
        Fill(line, c.Line);
        EXPECT_EQ(line.HitTest(c.X, c.Y), c.Hit) << c.What;
    }
}

TEST(Polyline, DegenerateRoutesAreNeverHit)
{
    Tlineobj empty;
    EXPECT_FALSE(empty.HitTest(0, 0));
    Tlineobj single;
    single.AddPoint(5, 5);
    EXPECT_FALSE(single.HitTest(5, 5));
    // Two equal points become a one-pixel segment and can be hit.
    Tlineobj dot;
    dot.AddPoint(5, 5);
    dot.AddPoint(5, 5);
    EXPECT_TRUE(dot.HitTest(5, 5));
    EXPECT_FALSE(dot.HitTest(5, 9));
}

TEST(Polyline, VerticalSegmentKeepsItsTilt)
{
    Tlineobj line;
    line.AddPoint(20, 0);
    line.AddPoint(20, 100);
    line.HitTest(0, 0);
    EXPECT_EQ(line.Points[1]->X, 21.0f);
    // A second test does not move it again.
    line.HitTest(0, 0);
    EXPECT_EQ(line.Points[1]->X, 21.0f);
}

TEST(Polyline, PointsDistanceAndClear)
{
    Tlineobj line;
    TLinePoint* a = line.AddPoint(0, 0);
    TLinePoint* b = line.AddPoint(3, 4);
    EXPECT_DOUBLE_EQ(Tlineobj::Distance(*a, *b), 5.0);
    EXPECT_EQ(b->X, 3.0f);
    line.ClearPoints();
    EXPECT_TRUE(line.Points.empty());
}
