// 4x4 single-precision matrices in the row-vector convention, and their seven operations.
#pragma once

#include <array>

// Row r, column c at index 4r + c. Points are row vectors multiplied on the left
// (p' = p * M), so rows 0..2 are the images of the x, y and z axes and elements
// 12, 13, 14 hold the translation. Column 3 is (0, 0, 0, 1) in every matrix we build.
using Matrix4 = std::array<float, 16>;

// m = I.
void MatrixIdentity(Matrix4& m);

// out = b * a: the transform that applies b first and then a. The second argument is
// the left factor. The product is formed in a temporary, so out may alias a or b.
void MatrixMultiply(const Matrix4& a, const Matrix4& b, Matrix4& out);

// m = R(angle) * m: the rotation acts before the existing transform, in m's own frame.
// Positive angles are counter-clockwise looking down the axis towards the origin.
void MatrixRotateX(Matrix4& m, float angle);
void MatrixRotateY(Matrix4& m, float angle);
void MatrixRotateZ(Matrix4& m, float angle);

// m = T(x, y, z) * m: moves along m's own axes; rows 0..2 are unchanged.
void MatrixTranslate(Matrix4& m, float x, float y, float z);

// dst = inverse of the affine matrix src (only its 3x3 part and translation are read).
// dst must not alias src. A singular 3x3 part gives non-finite elements; no caller passes one.
void MatrixInverse(const Matrix4& src, Matrix4& dst);
