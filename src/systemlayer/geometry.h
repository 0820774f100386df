#pragma once
// Whole-pixel conversion shared by every part of the workbench that scales
// coordinates: drawing, hit tests, file coordinates. Exact halves go to the
// even neighbour so that zooming in and out never drifts.

#include <cstdint>

namespace telvo {

// Rounds to the nearest integer, ties to even.
int32_t RoundHalfEven(double value);

} // namespace telvo
