#pragma once
// The picture of an IPP placed in an FB diagram. Its position is kept twice:
// at the diagram's zoom (X, Y) and at zoom 1 (BaseX, BaseY), so that zooming
// in and out returns every picture to the same place.

#include "systemlayer/geometry.h"

#include <cstdint>

namespace telvo {

class TslIPPRef;

class TslIPP final : public TDrawObject {
public:
    TslIPP(TslIPPRef* ipp, double scale);

    int32_t X = 0;
    int32_t Y = 0;
    int32_t BaseX = 0;
    int32_t BaseY = 0;
    // The IPP shown (not owned; the diagram drops the picture when the
    // system layer frees the IPP).
    TslIPPRef* Ipp;
    double Scale;
    int32_t LabelWidth = 0;
    // Where FB connections attach; computed when drawn.
    int32_t Anchor1X = 0;
    int32_t Anchor1Y = 0;
    int32_t Anchor2X = 0;
    int32_t Anchor2Y = 0;
    int32_t DragOffsetX = 0;
    int32_t DragOffsetY = 0;
    int32_t LastMouseX = 0;
    int32_t LastMouseY = 0;

    void SetX(int32_t x);
    void SetY(int32_t y);
    void BeginDrag(int32_t x, int32_t y);
    void DragTo(int32_t x, int32_t y);
    // Moves the picture against the change of the given offsets since the
    // previous call: the diagram editor passes its scroll offsets.
    void MoveBy(int32_t x, int32_t y);
    void SetScale(double scale);

private:
    int32_t ToBase(int32_t v) const;
    void RefreshBase();
};

} // namespace telvo
