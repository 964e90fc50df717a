#include "scene/nodes/math3d.h"

#include <cmath>

namespace sphaerix {

float TPoint3D::Length() const { return std::sqrt(X * X + Y * Y + Z * Z); }

TPoint3D TPoint3D::Normalize() const {
  const float len = Length();
  if (len == 0) return *this;
  const float inv = 1.0f / len;
  return {X * inv, Y * inv, Z * inv};
}

TPoint3D TVector3D::ToPoint3D() const {
  if (std::fabs(W) <= 0.0001f) return {X, Y, Z};
  return {X / W, Y / W, Z / W};
}

float TVector3D::Length() const { return std::sqrt(X * X + Y * Y + Z * Z); }

TVector3D TVector3D::Normalize() const {
  const float len = Length();
  if (len == 0) return *this;
  const float inv = 1.0f / len;
  return {X * inv, Y * inv, Z * inv, W};
}

TMatrix3D TMatrix3D::CreateScaling(const TPoint3D& S) {
  TMatrix3D r;
  r.m[0][0] = S.X;
  r.m[1][1] = S.Y;
  r.m[2][2] = S.Z;
  return r;
}

TMatrix3D TMatrix3D::CreateTranslation(const TPoint3D& T) {
  TMatrix3D r;
  r.m[3][0] = T.X;
  r.m[3][1] = T.Y;
  r.m[3][2] = T.Z;
  return r;
}

TMatrix3D TMatrix3D::CreateLookAtDirRH(const TPoint3D& AEye, const TPoint3D& ADir, const TPoint3D& AUp) {
  const TPoint3D z = ADir.Normalize();
  const TPoint3D x = AUp.CrossProduct(z).Normalize();
  const TPoint3D y = z.CrossProduct(x);
  TMatrix3D r;
  r.m[0][0] = x.X; r.m[0][1] = y.X; r.m[0][2] = z.X; r.m[0][3] = 0;
  r.m[1][0] = x.Y; r.m[1][1] = y.Y; r.m[1][2] = z.Y; r.m[1][3] = 0;
  r.m[2][0] = x.Z; r.m[2][1] = y.Z; r.m[2][2] = z.Z; r.m[2][3] = 0;
  r.m[3][0] = -x.DotProduct(AEye);
  r.m[3][1] = -y.DotProduct(AEye);
  r.m[3][2] = -z.DotProduct(AEye);
  r.m[3][3] = 1;
  return r;
}

TMatrix3D TMatrix3D::CreatePerspectiveFovRH(float AFovY, float AAspect, float ANear, float AFar) {
  const float h = 1.0f / std::tan(AFovY / 2);
  const float w = h / AAspect;
  TMatrix3D r;
  r.m[0][0] = w;
  r.m[1][1] = h;
  r.m[2][2] = AFar / (ANear - AFar);
  r.m[2][3] = -1;
  r.m[3][2] = (ANear * AFar) / (ANear - AFar);
  r.m[3][3] = 0;
  return r;
}

TMatrix3D TMatrix3D::operator*(const TMatrix3D& b) const {
  TMatrix3D r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j] + m[i][3] * b.m[3][j];
  return r;
}

bool TMatrix3D::operator==(const TMatrix3D& b) const {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (m[i][j] != b.m[i][j]) return false;
  return true;
}

TMatrix3D TMatrix3D::Transpose() const {
  TMatrix3D r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m[j][i];
  return r;
}

// Cofactor expansion over 2 x 2 minors of the upper and lower row pairs.
namespace {
struct Minors {
  float s0, s1, s2, s3, s4, s5, c0, c1, c2, c3, c4, c5;
};
Minors MinorsOf(const float (&a)[4][4]) {
  Minors n;
  n.s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
  n.s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
  n.s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
  n.s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
  n.s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
  n.s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
  n.c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
  n.c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
  n.c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
  n.c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
  n.c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
  n.c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
  return n;
}
}  // namespace

float TMatrix3D::Determinant() const {
  const Minors n = MinorsOf(m);
  return n.s0 * n.c5 - n.s1 * n.c4 + n.s2 * n.c3 + n.s3 * n.c2 - n.s4 * n.c1 + n.s5 * n.c0;
}

TMatrix3D TMatrix3D::Inverse() const {
  const Minors n = MinorsOf(m);
  const float det = n.s0 * n.c5 - n.s1 * n.c4 + n.s2 * n.c3 + n.s3 * n.c2 - n.s4 * n.c1 + n.s5 * n.c0;
  if (det == 0 || !std::isfinite(det)) return Identity();
  const float d = 1.0f / det;
  const auto& a = m;
  TMatrix3D r;
  r.m[0][0] = (a[1][1] * n.c5 - a[1][2] * n.c4 + a[1][3] * n.c3) * d;
  r.m[0][1] = (-a[0][1] * n.c5 + a[0][2] * n.c4 - a[0][3] * n.c3) * d;
  r.m[0][2] = (a[3][1] * n.s5 - a[3][2] * n.s4 + a[3][3] * n.s3) * d;
  r.m[0][3] = (-a[2][1] * n.s5 + a[2][2] * n.s4 - a[2][3] * n.s3) * d;
  r.m[1][0] = (-a[1][0] * n.c5 + a[1][2] * n.c2 - a[1][3] * n.c1) * d;
  r.m[1][1] = (a[0][0] * n.c5 - a[0][2] * n.c2 + a[0][3] * n.c1) * d;
  r.m[1][2] = (-a[3][0] * n.s5 + a[3][2] * n.s2 - a[3][3] * n.s1) * d;
  r.m[1][3] = (a[2][0] * n.s5 - a[2][2] * n.s2 + a[2][3] * n.s1) * d;
  r.m[2][0] = (a[1][0] * n.c4 - a[1][1] * n.c2 + a[1][3] * n.c0) * d;
  r.m[2][1] = (-a[0][0] * n.c4 + a[0][1] * n.c2 - a[0][3] * n.c0) * d;
  r.m[2][2] = (a[3][0] * n.s4 - a[3][1] * n.s2 + a[3][3] * n.s0) * d;
  r.m[2][3] = (-a[2][0] * n.s4 + a[2][1] * n.s2 - a[2][3] * n.s0) * d;
  r.m[3][0] = (-a[1][0] * n.c3 + a[1][1] * n.c1 - a[1][2] * n.c0) * d;
  r.m[3][1] = (a[0][0] * n.c3 - a[0][1] * n.c1 + a[0][2] * n.c0) * d;
  r.m[3][2] = (-a[3][0] * n.s3 + a[3][1] * n.s1 - a[3][2] * n.s0) * d;
  r.m[3][3] = (a[2][0] * n.s3 - a[2][1] * n.s1 + a[2][2] * n.s0) * d;
  return r;
}

TVector3D operator*(const TVector3D& v, const TMatrix3D& M) {
  const auto& a = M.m;
  return {v.X * a[0][0] + v.Y * a[1][0] + v.Z * a[2][0] + v.W * a[3][0],
          v.X * a[0][1] + v.Y * a[1][1] + v.Z * a[2][1] + v.W * a[3][1],
          v.X * a[0][2] + v.Y * a[1][2] + v.Z * a[2][2] + v.W * a[3][2],
          v.X * a[0][3] + v.Y * a[1][3] + v.Z * a[2][3] + v.W * a[3][3]};
}

TPoint3D operator*(const TPoint3D& p, const TMatrix3D& M) { return (TVector3D(p, 1) * M).ToPoint3D(); }

TQuaternion3D TQuaternion3D::Create(const TPoint3D& AAxis, float AAngle) {
  const float len = AAxis.Length();
  if (len == 0) return Identity();
  const float half = AAngle / 2;
  const float s = std::sin(half);
  return {{AAxis.X * s / len, AAxis.Y * s / len, AAxis.Z * s / len}, std::cos(half)};
}

TQuaternion3D TQuaternion3D::operator*(const TQuaternion3D& b) const {
  const float x1 = ImagPart.X, y1 = ImagPart.Y, z1 = ImagPart.Z, w1 = RealPart;
  const float x2 = b.ImagPart.X, y2 = b.ImagPart.Y, z2 = b.ImagPart.Z, w2 = b.RealPart;
  TQuaternion3D r;
  r.RealPart = w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2;
  r.ImagPart.X = w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2;
  r.ImagPart.Y = w1 * y2 - x1 * z2 + y1 * w2 + z1 * x2;
  r.ImagPart.Z = w1 * z2 + x1 * y2 - y1 * x2 + z1 * w2;
  return r;
}

float TQuaternion3D::Length() const {
  return std::sqrt(ImagPart.X * ImagPart.X + ImagPart.Y * ImagPart.Y + ImagPart.Z * ImagPart.Z +
                   RealPart * RealPart);
}

TMatrix3D TQuaternion3D::ToMatrix() const {
  const float len = Length();
  if (len <= 1e-30f) return TMatrix3D::Identity();
  const float inv = 1.0f / len;
  const float x = ImagPart.X * inv, y = ImagPart.Y * inv, z = ImagPart.Z * inv, w = RealPart * inv;
  TMatrix3D r;
  r.m[0][0] = 1 - 2 * (y * y + z * z);
  r.m[0][1] = 2 * (x * y + z * w);
  r.m[0][2] = 2 * (x * z - y * w);
  r.m[1][0] = 2 * (x * y - z * w);
  r.m[1][1] = 1 - 2 * (x * x + z * z);
  r.m[1][2] = 2 * (y * z + x * w);
  r.m[2][0] = 2 * (x * z + y * w);
  r.m[2][1] = 2 * (y * z - x * w);
  r.m[2][2] = 1 - 2 * (x * x + y * y);
  return r;
}

}  // namespace sphaerix
