#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/nodes/control3d.h"
#include "scene/nodes/math3d.h"

namespace sphaerix {
namespace {

constexpr float kDeg = 3.14159265358979f / 180;

void ExpectRow(const TMatrix3D& m, int row, TPoint3D expected, float tol = 1e-6f) {
  EXPECT_NEAR(m.m[row][0], expected.X, tol) << "row " << row;
  EXPECT_NEAR(m.m[row][1], expected.Y, tol) << "row " << row;
  EXPECT_NEAR(m.m[row][2], expected.Z, tol) << "row " << row;
}

// The right-hand rule of the scene axes: +90 about X takes y to +z, and so on.
TEST(Quaternion, QuarterTurnsMapTheAxesAsTheTableSays) {
  struct Case {
    TPoint3D Axis, X, Y, Z;
  } cases[] = {
      {{1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
      {{0, 1, 0}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
      {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    const TMatrix3D m = TQuaternion3D::Create(c.Axis, 90 * kDeg).ToMatrix();
    ExpectRow(m, 0, c.X);
    ExpectRow(m, 1, c.Y);
    ExpectRow(m, 2, c.Z);
    ExpectRow(m, 3, {0, 0, 0}, 0);
    EXPECT_EQ(m.m[3][3], 1);
  }
}

TEST(Quaternion, ProductOnTheRightActsFirst) {
  const TQuaternion3D q = TQuaternion3D::Create({1, 0, 0}, 30 * kDeg);
  const TQuaternion3D d = TQuaternion3D::Create({0, 0, 1}, -70 * kDeg);
  const TMatrix3D lhs = (q * d).ToMatrix();
  const TMatrix3D rhs = d.ToMatrix() * q.ToMatrix();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(lhs.m[i][j], rhs.m[i][j], 1e-6f);
}

TEST(Quaternion, DegenerateInputsGiveTheIdentity) {
  EXPECT_EQ(TQuaternion3D::Create({0, 0, 0}, 1.0f), TQuaternion3D::Identity());
  EXPECT_EQ(TQuaternion3D({0, 0, 0}, 0).ToMatrix(), TMatrix3D::Identity());
  EXPECT_EQ(TQuaternion3D({1e-31f, 0, 0}, 0).ToMatrix(), TMatrix3D::Identity());
  // A non-unit quaternion is normalised before it becomes a matrix.
  const TMatrix3D m = TQuaternion3D({0, 0, 2}, 2).ToMatrix();
  ExpectRow(m, 0, {0, 1, 0});
}

TEST(Vector, PointConversionDividesByWUnlessItIsTiny) {
  EXPECT_EQ(TVector3D(2, 4, 6, 2).ToPoint3D(), TPoint3D(1, 2, 3));
  EXPECT_EQ(TVector3D(2, 4, 6, 0.0001f).ToPoint3D(), TPoint3D(2, 4, 6));
  EXPECT_EQ(TVector3D(2, 4, 6, -0.00005f).ToPoint3D(), TPoint3D(2, 4, 6));
  EXPECT_EQ(TVector3D(0, 0, 0, 0).Normalize(), TVector3D(0, 0, 0, 0));
  EXPECT_EQ(TPoint3D(0, 0, 0).Normalize(), TPoint3D(0, 0, 0));
  EXPECT_EQ(TPoint3D(0, 3, 0).Normalize(), TPoint3D(0, 1, 0));
  EXPECT_EQ(TPoint3D(1, 0, 0).CrossProduct({0, 1, 0}), TPoint3D(0, 0, 1));
}

TEST(Matrix, InverseUndoesACompositeAndSingularGivesIdentity) {
  const TMatrix3D a = TMatrix3D::CreateScaling({2, 3, 0.5f}) *
                      TQuaternion3D::Create({1, 2, 3}, 0.7f).ToMatrix() *
                      TMatrix3D::CreateTranslation({4, -5, 6});
  const TMatrix3D p = a * a.Inverse();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(p.m[i][j], i == j ? 1.0f : 0.0f, 1e-5f);
  EXPECT_EQ(TMatrix3D::CreateScaling({1, 0, 1}).Inverse(), TMatrix3D::Identity());
  // Row-vector convention: a point is scaled first, then moved.
  const TPoint3D q = TPoint3D(1, 1, 1) * (TMatrix3D::CreateScaling({2, 2, 2}) * TMatrix3D::CreateTranslation({1, 0, 0}));
  EXPECT_EQ(q, TPoint3D(3, 2, 2));
}

TEST(Angle, ReductionIntoZeroTo360) {
  struct Case {
    long double In, Out;
  } cases[] = {{-100, 260}, {360, 0}, {-360, 0}, {720, 0}, {725, 5}, {-0.5L, 359.5L}, {359.5L, 359.5L}, {0, 0}};
  for (const Case& c : cases) EXPECT_NEAR(static_cast<double>(NormalizeAngle(c.In)), static_cast<double>(c.Out), 1e-9) << static_cast<double>(c.In);
  // k is 1/360 rounded to a float, a little above 1/360: just below 360 the quotient
  // already truncates to 1, and the negative result is lifted back.
  EXPECT_NEAR(static_cast<double>(NormalizeAngle(359.999995L)), 359.999995, 1e-9);
}

}  // namespace
}  // namespace sphaerix
