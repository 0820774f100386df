#include "systemlayer/sl_ipp_picture.h"

#include <algorithm>
#include <climits>

namespace telvo {

namespace {

int32_t Clamp32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

TslIPP::TslIPP(TslIPPRef* ipp, double scale) : Ipp(ipp), Scale(scale) {}

int32_t TslIPP::ToBase(int32_t v) const
{
    // A zoom of zero (or less) has no zoom-1 position; keep the one at hand
    // rather than dividing by it.
    if (!(Scale > 0))
        return v;
    return RoundHalfEven(v / Scale);
}

void TslIPP::RefreshBase()
{
    BaseX = ToBase(X);
    BaseY = ToBase(Y);
}

void TslIPP::SetX(int32_t x)
{
    X = x;
    BaseX = ToBase(X);
}

void TslIPP::SetY(int32_t y)
{
    Y = y;
    BaseY = ToBase(Y);
}

void TslIPP::BeginDrag(int32_t x, int32_t y)
{
    if (!Selected)
        return;
    DragOffsetX = Clamp32(int64_t{x} - X);
    DragOffsetY = Clamp32(int64_t{y} - Y);
}

void TslIPP::DragTo(int32_t x, int32_t y)
{
    if (!Selected)
        return;
    X = Clamp32(int64_t{x} - DragOffsetX);
    Y = Clamp32(int64_t{y} - DragOffsetY);
    RefreshBase();
}

void TslIPP::MoveBy(int32_t x, int32_t y)
{
    X = Clamp32(int64_t{X} + LastMouseX - x);
    Y = Clamp32(int64_t{Y} + LastMouseY - y);
    LastMouseX = x;
    LastMouseY = y;
    RefreshBase();
}

void TslIPP::SetScale(double scale)
{
    X = RoundHalfEven(BaseX * scale);
    Y = RoundHalfEven(BaseY * scale);
    Scale = scale;
}

} // namespace telvo
