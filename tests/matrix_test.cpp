// Matrix operations against hand-worked values.
#include "math/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

struct Point {
    float x, y, z;
};

Point Transform(const Matrix4& m, Point p) {
    return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12],
            p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
            p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

void ExpectPoint(Point actual, Point expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

Matrix4 Identity() {
    Matrix4 m;
    MatrixIdentity(m);
    return m;
}

Matrix4 Translation(float x, float y, float z) {
    Matrix4 m = Identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

constexpr float kHalfPi = std::numbers::pi_v<float> / 2;

TEST(Matrix, IdentityHasOnesOnTheDiagonalOnly) {
    Matrix4 m;
    m.fill(7.0f);
    MatrixIdentity(m);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
}

TEST(Matrix, MultiplyTakesTheSecondArgumentAsTheLeftFactor) {
    // b rotates (1,0,0) to (0,1,0) first, then a translates it by (1,0,0).
    Matrix4 a = Translation(1, 0, 0);
    Matrix4 b = Identity();
    MatrixRotateZ(b, kHalfPi);
    Matrix4 out;
    MatrixMultiply(a, b, out);
    ExpectPoint(Transform(out, {1, 0, 0}), {1, 1, 0});
}

TEST(Matrix, MultiplyIsSafeWhenTheOutputAliasesAnInput) {
    Matrix4 m;
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<float>(i + 1);
    Matrix4 expected;
    MatrixMultiply(m, m, expected);
    // Written out: (m*m)[0] = 1*1 + 2*5 + 3*9 + 4*13 = 90.
    EXPECT_EQ(expected[0], 90.0f);
    Matrix4 aliased = m;
    MatrixMultiply(aliased, aliased, aliased);
    EXPECT_EQ(aliased, expected);

    Matrix4 left = m, right = Translation(1, 2, 3);
    Matrix4 viaTemp;
    MatrixMultiply(left, right, viaTemp);
    MatrixMultiply(left, right, left);
    EXPECT_EQ(left, viaTemp);
    left = m;
    MatrixMultiply(left, right, right);
    EXPECT_EQ(right, viaTemp);
}

struct RotationCase {
    const char* name;
    void (*rotate)(Matrix4&, float);
    Point in;
    Point out;
};

TEST(Matrix, QuarterTurnsAboutEachAxis) {
    const RotationCase cases[] = {
        {"Z x->y", MatrixRotateZ, {1, 0, 0}, {0, 1, 0}},
        {"X y->z", MatrixRotateX, {0, 1, 0}, {0, 0, 1}},
        {"Y z->x", MatrixRotateY, {0, 0, 1}, {1, 0, 0}},
        {"Y x->-z", MatrixRotateY, {1, 0, 0}, {0, 0, -1}},
    };
    for (const RotationCase& c : cases) {
        SCOPED_TRACE(c.name);
        Matrix4 m = Identity();
        c.rotate(m, kHalfPi);
        ExpectPoint(Transform(m, c.in), c.out);
    }
}

TEST(Matrix, RotationActsInTheLocalFrameBeforeTheTranslation) {
    Matrix4 m = Translation(10, 0, 0);
    MatrixRotateY(m, kHalfPi);
    ExpectPoint(Transform(m, {1, 0, 0}), {10, 0, -1});
}

TEST(Matrix, TranslateMovesAlongTheMatrixAxes) {
    Matrix4 m = Identity();
    MatrixTranslate(m, 0, 0, -150);
    Matrix4 expected = Identity();
    expected[14] = -150;
    EXPECT_EQ(m, expected);

    // Row 3 becomes x*row0 + y*row1 + z*row2 + row3.
    Matrix4 rotated = Translation(5, 6, 7);
    MatrixRotateZ(rotated, kHalfPi);
    MatrixTranslate(rotated, 2, 0, 0);
    ExpectPoint({rotated[12], rotated[13], rotated[14]}, {5, 8, 7});
}

TEST(Matrix, ViewingCameraOfTheViewerHasTheExpectedRows) {
    Matrix4 m = Identity();
    MatrixRotateZ(m, -3.1415925f);
    MatrixRotateX(m, -0.5235988f);
    MatrixTranslate(m, 0.0f, 0.0f, -150.0f);
    const float expected[16] = {-1, 0,     0,          0, 0, -0.8660254f, -0.5f,       0,
                                0,  -0.5f, 0.8660254f, 0, 0, 75,          -129.90381f, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m[i], expected[i], 2e-5f) << i;
}

TEST(Matrix, InverseOfScaledTranslatedMatrix) {
    Matrix4 m = Identity();
    m[0] = 2;
    m[5] = 3;
    m[10] = 0.5f;
    m[12] = 8;
    m[13] = 15;
    m[14] = 3;
    Matrix4 inv;
    MatrixInverse(m, inv);
    const float expected[16] = {0.5f, 0, 0, 0, 0, 1.0f / 3, 0, 0, 0, 0, 2, 0, -4, -5, -6, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(inv[i], expected[i], 1e-6f) << i;
}

TEST(Matrix, InverseWritesTheLastColumnAsAffineAndIgnoresItInTheSource) {
    Matrix4 m = Translation(1, 2, 3);
    m[3] = 9;
    m[7] = -4;
    m[11] = 100;
    m[15] = 0;
    Matrix4 inv;
    inv.fill(5.0f);
    MatrixInverse(m, inv);
    EXPECT_EQ(inv[3], 0.0f);
    EXPECT_EQ(inv[7], 0.0f);
    EXPECT_EQ(inv[11], 0.0f);
    EXPECT_EQ(inv[15], 1.0f);
    ExpectPoint({inv[12], inv[13], inv[14]}, {-1, -2, -3});
}

TEST(Matrix, ProductWithInverseIsTheIdentityForRigidTransforms) {
    // A spread of rotations and translations, as the renderer inverts every frame.
    for (int trial = 0; trial < 50; ++trial) {
        Matrix4 m = Identity();
        const float t = static_cast<float>(trial);
        MatrixTranslate(m, t * 3.0f - 70.0f, 12.5f - t, t * 0.5f);
        MatrixRotateX(m, 0.37f * t);
        MatrixRotateY(m, -1.3f + 0.11f * t);
        MatrixRotateZ(m, 0.05f * t * t);
        MatrixTranslate(m, -t, 2.0f * t, 40.0f);
        Matrix4 inv, product;
        MatrixInverse(m, inv);
        MatrixMultiply(inv, m, product);
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(product[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-4f) << trial << " " << i;
        }
    }
}

}  // namespace
