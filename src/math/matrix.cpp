// Matrix operations, written out element by element.
//
// Index convention (row r, column c at 4r + c):
//    0  1  2  3
//    4  5  6  7
//    8  9 10 11
//   12 13 14 15
#include "math/matrix.h"

#include <cmath>

void MatrixIdentity(Matrix4& m) {
    m = {1.0f, 0.0f, 0.0f, 0.0f,  //
         0.0f, 1.0f, 0.0f, 0.0f,  //
         0.0f, 0.0f, 1.0f, 0.0f,  //
         0.0f, 0.0f, 0.0f, 1.0f};
}

void MatrixMultiply(const Matrix4& a, const Matrix4& b, Matrix4& out) {
    // out[4i + j] = sum over k of b[4i + k] * a[4k + j]; each element is rounded once.
    Matrix4 t;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            t[4 * i + j] = b[4 * i + 0] * a[0 + j] + b[4 * i + 1] * a[4 + j] +
                           b[4 * i + 2] * a[8 + j] + b[4 * i + 3] * a[12 + j];
        }
    }
    out = t;
}

void MatrixRotateX(Matrix4& m, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    Matrix4 r;
    MatrixIdentity(r);
    r[5] = c;
    r[6] = s;
    r[9] = -s;
    r[10] = c;
    MatrixMultiply(m, r, m);
}

void MatrixRotateY(Matrix4& m, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    Matrix4 r;
    MatrixIdentity(r);
    r[0] = c;
    r[2] = -s;
    r[8] = s;
    r[10] = c;
    MatrixMultiply(m, r, m);
}

void MatrixRotateZ(Matrix4& m, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    Matrix4 r;
    MatrixIdentity(r);
    r[0] = c;
    r[1] = s;
    r[4] = -s;
    r[5] = c;
    MatrixMultiply(m, r, m);
}

void MatrixTranslate(Matrix4& m, float x, float y, float z) {
    Matrix4 t;
    MatrixIdentity(t);
    t[12] = x;
    t[13] = y;
    t[14] = z;
    MatrixMultiply(m, t, m);
}

void MatrixInverse(const Matrix4& src, Matrix4& dst) {
    const float s0 = src[0], s1 = src[1], s2 = src[2];
    const float s4 = src[4], s5 = src[5], s6 = src[6];
    const float s8 = src[8], s9 = src[9], s10 = src[10];
    const float s12 = src[12], s13 = src[13], s14 = src[14];

    // Adjugate of the 3x3 part, in place.
    dst[0] = s5 * s10 - s6 * s9;
    dst[1] = s9 * s2 - s10 * s1;
    dst[2] = s1 * s6 - s5 * s2;
    dst[4] = s8 * s6 - s10 * s4;
    dst[5] = s0 * s10 - s8 * s2;
    dst[6] = s2 * s4 - s0 * s6;
    dst[8] = s9 * s4 - s5 * s8;
    dst[9] = s8 * s1 - s0 * s9;
    dst[10] = s0 * s5 - s1 * s4;

    // Translation row: minus the translation times the adjugate columns, each entry
    // formed from src's triple products rather than from the cofactors stored above.
    dst[12] =
        -(s12 * (s5 * s10 - s6 * s9) + s13 * (s6 * s8 - s4 * s10) + s14 * (s4 * s9 - s5 * s8));
    dst[13] =
        -(s12 * (s9 * s2 - s10 * s1) + s13 * (s0 * s10 - s8 * s2) + s14 * (s8 * s1 - s0 * s9));
    dst[14] = -(s12 * (s1 * s6 - s5 * s2) + s13 * (s2 * s4 - s0 * s6) + s14 * (s0 * s5 - s1 * s4));

    // Determinant of the 3x3 part, rounded to a float before the divisions.
    const float det =
        s0 * (s5 * s10 - s6 * s9) - s1 * (s4 * s10 - s6 * s8) + s2 * (s4 * s9 - s5 * s8);

    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 3; ++col) {
            dst[4 * row + col] /= det;
        }
    }
    dst[3] = 0.0f;
    dst[7] = 0.0f;
    dst[11] = 0.0f;
    dst[15] = 1.0f;
}
