#pragma once
// Whole-pixel conversion shared by every part of the workbench that scales
// coordinates: drawing, hit tests, file coordinates. Exact halves go to the
// even neighbour so that zooming in and out never drifts.
//
// Also the three small geometry bases of everything that is drawn: objects
// placed at a position (FB instances, notes, IPP pictures) derive from
// TDrawObject; lines (FB connections, system connections) derive from
// Tlineobj and share its polyline hit test.

#include <cstdint>
#include <memory>
#include <vector>

namespace telvo {

// Rounds to the nearest integer, ties to even.
int32_t RoundHalfEven(double value);

// Base of every object drawn at a position in a diagram.
class TDrawObject {
public:
    virtual ~TDrawObject() = default;

    // The object is the one being dragged or edited.
    bool Selected = false;
    // The object is part of a multiple selection (drawn with a 2-pixel outline).
    bool GroupSelected = false;
};

// One vertex of a polyline, in canvas pixels.
struct TLinePoint {
    float X = 0;
    float Y = 0;
};

// A polyline. Its points are owned and kept in drawing order.
class Tlineobj {
public:
    // How close (in pixels, exclusive) a point must come to a segment to hit it.
    static constexpr double HitTolerance = 3.0;

    Tlineobj() = default;
    virtual ~Tlineobj() = default;
    Tlineobj(const Tlineobj&) = delete;
    Tlineobj& operator=(const Tlineobj&) = delete;

    std::vector<std::unique_ptr<TLinePoint>> Points;

    TLinePoint* AddPoint(int32_t x, int32_t y);
    void ClearPoints();
    static double Distance(const TLinePoint& a, const TLinePoint& b);

    // True when (x, y) lies within the tolerance of one of the segments.
    // A segment found exactly vertical gets its end moved one pixel right
    // (and stored): its bounding box would otherwise be zero pixels wide and
    // the projected foot, carrying rounding noise, would fall outside it.
    bool HitTest(int32_t x, int32_t y);
};

} // namespace telvo
