// Matrices the renderer's tests and benchmarks draw with: the identity, and the viewer's fixed
// camera built as the viewer builds it (150 units from the origin, 30 degrees above it,
// looking at it).
#pragma once

#include "math/matrix.h"

inline Matrix4 Identity() {
    Matrix4 m;
    MatrixIdentity(m);
    return m;
}

inline Matrix4 ViewCamera() {
    Matrix4 m = Identity();
    MatrixRotateZ(m, -3.1415925f);
    MatrixRotateX(m, -0.5235988f);
    MatrixTranslate(m, 0.0f, 0.0f, -150.0f);
    return m;
}
