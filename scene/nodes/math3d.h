// 3D math of the scene layer: points, vectors, 4 x 4 matrices and quaternions, all of
// 32-bit floats.
//
// Conventions, written down once: matrices are stored row by row (m[row][column]) and
// points are row vectors multiplied from the left, p' = p x M, with w = 1 for points and
// w = 0 for directions. Rows 1 to 3 of a node matrix are the images of the local x, y
// and z axes, row 4 is the translation, column 4 is (0, 0, 0, 1). p x (A x B) applies A
// first, then B. Angles are radians here; the node properties speak degrees.
#pragma once

#include <cstdint>

#include "scene/material/color.h"

namespace sphaerix {

// A point of the 2D layer or a texture coordinate.
struct TPointF {
  float X = 0;
  float Y = 0;
};

struct TPoint3D {
  float X = 0;
  float Y = 0;
  float Z = 0;

  constexpr TPoint3D() = default;
  constexpr TPoint3D(float AX, float AY, float AZ) : X(AX), Y(AY), Z(AZ) {}

  TPoint3D operator+(const TPoint3D& b) const { return {X + b.X, Y + b.Y, Z + b.Z}; }
  TPoint3D operator-(const TPoint3D& b) const { return {X - b.X, Y - b.Y, Z - b.Z}; }
  TPoint3D operator-() const { return {-X, -Y, -Z}; }
  TPoint3D operator*(float s) const { return {X * s, Y * s, Z * s}; }
  bool operator==(const TPoint3D& b) const { return X == b.X && Y == b.Y && Z == b.Z; }
  bool operator!=(const TPoint3D& b) const { return !(*this == b); }

  float Length() const;
  // The unit vector along this one; a zero vector stays as it is.
  TPoint3D Normalize() const;
  float DotProduct(const TPoint3D& b) const { return X * b.X + Y * b.Y + Z * b.Z; }
  // a x b = (a.y b.z - a.z b.y, a.z b.x - a.x b.z, a.x b.y - a.y b.x)
  TPoint3D CrossProduct(const TPoint3D& b) const {
    return {Y * b.Z - Z * b.Y, Z * b.X - X * b.Z, X * b.Y - Y * b.X};
  }
  float Distance(const TPoint3D& b) const { return (*this - b).Length(); }
};

struct TMatrix3D;

struct TVector3D {
  float X = 0;
  float Y = 0;
  float Z = 0;
  float W = 1;

  constexpr TVector3D() = default;
  constexpr TVector3D(float AX, float AY, float AZ, float AW = 1) : X(AX), Y(AY), Z(AZ), W(AW) {}
  constexpr TVector3D(const TPoint3D& P, float AW = 1) : X(P.X), Y(P.Y), Z(P.Z), W(AW) {}

  // X, Y, Z divided by W, or taken as they are when |W| <= 0.0001 (a direction).
  TPoint3D ToPoint3D() const;
  // X, Y, Z scaled to unit length, W kept; a zero vector stays as it is.
  TVector3D Normalize() const;
  float Length() const;  // of X, Y, Z
  bool operator==(const TVector3D& b) const { return X == b.X && Y == b.Y && Z == b.Z && W == b.W; }
};

struct TMatrix3D {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

  static TMatrix3D Identity() { return TMatrix3D(); }
  static TMatrix3D CreateScaling(const TPoint3D& S);
  static TMatrix3D CreateTranslation(const TPoint3D& T);
  // View matrix of an eye at AEye whose view direction is -ADir, right-handed (the view
  // looks down its -z). Rows 1 to 3 hold the camera axes as columns; row 4 their
  // dot products with the eye, negated.
  static TMatrix3D CreateLookAtDirRH(const TPoint3D& AEye, const TPoint3D& ADir, const TPoint3D& AUp);
  // Right-handed perspective with the field of view AFovY (radians) taken vertically;
  // depth maps from 0 at the near plane to 1 at the far plane.
  static TMatrix3D CreatePerspectiveFovRH(float AFovY, float AAspect, float ANear, float AFar);

  TMatrix3D operator*(const TMatrix3D& b) const;
  bool operator==(const TMatrix3D& b) const;
  bool operator!=(const TMatrix3D& b) const { return !(*this == b); }

  float Determinant() const;
  // The inverse; a singular matrix gives the identity (a node scaled by zero).
  TMatrix3D Inverse() const;
  TMatrix3D Transpose() const;

  // Row r (0-based) as a vector with its fourth component as W.
  TVector3D Row(int r) const { return {m[r][0], m[r][1], m[r][2], m[r][3]}; }
};

// p x M for a point (w = 1), divided by the resulting w under the rule of TVector3D.
TPoint3D operator*(const TPoint3D& p, const TMatrix3D& M);
// v x M with the vector's own W.
TVector3D operator*(const TVector3D& v, const TMatrix3D& M);

struct TQuaternion3D {
  TPoint3D ImagPart;    // X, Y, Z
  float RealPart = 1;  // W

  constexpr TQuaternion3D() = default;
  constexpr TQuaternion3D(const TPoint3D& AImag, float AReal) : ImagPart(AImag), RealPart(AReal) {}

  static TQuaternion3D Identity() { return TQuaternion3D(); }
  // Rotation by AAngle radians about AAxis (any length); a zero axis gives the identity.
  static TQuaternion3D Create(const TPoint3D& AAxis, float AAngle);

  // The Hamilton product with this quaternion on the left. matrix(Q x D) equals
  // matrix(D) x matrix(Q): D acts first, in the axes Q has already turned.
  TQuaternion3D operator*(const TQuaternion3D& b) const;
  bool operator==(const TQuaternion3D& b) const { return ImagPart == b.ImagPart && RealPart == b.RealPart; }

  float Length() const;
  // The rotation matrix of the unit quaternion along this one; a quaternion of length
  // 1e-30 or less gives the identity.
  TMatrix3D ToMatrix() const;
};

}  // namespace sphaerix
