// The renderer's inner steps, declared for its tests: corner projection, the conversion
// of screen coordinates to integers, and the line stepper with its minor-axis jump.
#pragma once

#include <cmath>
#include <cstdint>

#include "math/matrix.h"
#include "scene/records.h"

// One projected corner: screen x and y in pixels, single floats.
struct ScreenPoint {
    float x, y;
};

// The line colour: red 100, green 255, blue 150.
inline constexpr uint32_t kLineColour = 0x0064FF96u;

// Faces whose plane lies more than this in front of the camera are turned away; corners
// at this view depth or nearer are not projected.
inline constexpr double kFacingLimit = 0.1;
inline constexpr double kNearLimit = 0.1;

// The parameters of the last SetProjection: the frame size and the projection scale.
struct ProjectionParameters {
    int32_t width, height;
    float focalScale;
};
ProjectionParameters CurrentProjection();

// Projects the vertex through the object-to-view matrix `view` with the scale and frame
// centre of the last SetProjection. The view position is formed in double precision;
// xv and yv are rounded to single floats, zv stays double. A corner with zv > 0.1 lands
// at (xv * focalScale / zv + width / 2, yv * focalScale / zv + height / 2), rounded to
// single floats (a value beyond the float range becomes an infinity, as the hardware
// rounding gives) and true is returned; a corner at depth 0.1 or less (or NaN) has no
// screen position: `slot` is left alone and false is returned.
bool ProjectCorner(const Matrix4& view, const Vertex& vertex, ScreenPoint& slot);

// A screen coordinate truncated toward zero to a 32-bit integer. Values beyond the
// 32-bit range, infinities included, are clamped to INT32_MIN or INT32_MAX first, so every
// value inside the range converts exactly as a plain truncation would. NaN gives 0; the
// line stepper never converts one (a line with a NaN end is not drawn).
inline int32_t ScreenToInt(float value) {
    const double v = static_cast<double>(value);
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The value that `steps` repetitions of `y = y - increment` reach when each difference is
// rounded to double, exactly as the line stepper's walk along its shorter axis computes it,
// in time that does not grow with `steps`: within a range of equal exponent every step
// subtracts the same rounded amount, so the walk is jumped along in arithmetic
// progressions and stepped one at a time only near exponent boundaries, zero and ties.
double AdvanceMinorAxis(double y, float increment, uint64_t steps);

// Draws the line from `start` to `end` into the frame of the last SetProjection: exactly
// the points that the plain walk of max(|dx|, |dy|) steps would set, start included and
// end excluded, but only the steps whose longer-axis coordinate lies inside the frame are
// walked, so the cost is bounded by the frame size whatever the ends are. A line with a
// NaN end draws nothing; infinite and out-of-range ends are clamped by ScreenToInt.
// Several threads may draw into one frame at once: every pixel is stored as a relaxed
// atomic store of the one line colour, so lines that cross give the same frame in any
// order and without a data race.
void DrawLine(ScreenPoint start, ScreenPoint end, uint32_t* pixels);

// DrawLine after the conversion of its ends: DrawLine(start, end, pixels) with no NaN end
// is DrawLineBetween(ScreenToInt(start.x), ScreenToInt(start.y), ScreenToInt(end.x),
// ScreenToInt(end.y), pixels).
void DrawLineBetween(int32_t startX, int32_t startY, int32_t endX, int32_t endY, uint32_t* pixels);
