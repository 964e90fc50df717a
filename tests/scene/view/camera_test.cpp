// The camera: angle clamps, the look-at with and without a target, the camera in a
// turned rig and a destroyed target.
#include <gtest/gtest.h>

#include "scene/view/camera.h"

namespace sphaerix {
namespace {

void ExpectPoint(const TPoint3D& a, const TPoint3D& b, float tol = 1e-4f) {
  EXPECT_NEAR(a.X, b.X, tol);
  EXPECT_NEAR(a.Y, b.Y, tol);
  EXPECT_NEAR(a.Z, b.Z, tol);
}

// The viewer's rig: Dummy1 at the origin holding Camera1 at (0, 0, -15) aimed at Sphere1.
struct Rig : ::testing::Test {
  TDummy root;
  TDummy* dummy = new TDummy(&root);
  TCamera* camera = new TCamera(&root);
  TDummy* target = new TDummy(&root);
  void SetUp() override {
    root.AddObject(dummy);
    root.AddObject(target);
    dummy->AddObject(camera);
    camera->Position().SetPoint({0, 0, -15});
    camera->SetTarget(target);
  }
};

TEST(Camera, InitialValuesAndAngleClamps) {
  TCamera camera;
  EXPECT_EQ(camera.AngleOfView(), 45);
  EXPECT_FALSE(camera.HitTest());
  ExpectPoint(camera.Position().Point(), {0, 0, -5}, 0);
  const struct {
    float In, Stored;
  } cases[] = {{0.5f, 1}, {200, 179}, {1, 1}, {179, 179}, {60, 60}, {-5, 1}};
  for (const auto& c : cases) {
    camera.SetAngleOfView(c.In);
    EXPECT_EQ(camera.AngleOfView(), c.Stored) << c.In;
  }
}

TEST_F(Rig, UnrotatedRigMapsWorldToViewFlippingYAndZ) {
  const TMatrix3D view = camera->CameraMatrix();
  const TPoint3D samples[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, -3, 4}};
  for (const TPoint3D& p : samples) ExpectPoint(p * view, {p.X, -p.Y, -p.Z - 15});
}

TEST_F(Rig, WithoutTargetTheCameraLooksAlongItsOwnZ) {
  const TMatrix3D withTarget = camera->CameraMatrix();
  camera->SetTarget(nullptr);
  const TMatrix3D own = camera->CameraMatrix();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(own.m[r][c], withTarget.m[r][c], 1e-6) << r << c;
}

TEST_F(Rig, TurnedRigOrbitsAndKeepsScreenUp) {
  dummy->RotationAngle().SetY(90);
  ExpectPoint(camera->AbsolutePosition().ToPoint3D(), {-15, 0, 0});
  const TMatrix3D view = camera->CameraMatrix();
  ExpectPoint(TPoint3D(0, 0, 0) * view, {0, 0, -15});
  // The planet's former -x side now faces the viewer; world +y still points down the
  // screen (view -y) and world -z is screen right.
  ExpectPoint(TPoint3D(-1, 0, 0) * view, {0, 0, -14});
  ExpectPoint(TPoint3D(0, 1, 0) * view, {0, -1, -15});
  ExpectPoint(TPoint3D(0, 0, -1) * view, {1, 0, -15});
}

TEST_F(Rig, DestroyedTargetLeavesTheCameraLookingAlongZ) {
  target->Position().SetPoint({5, 0, 0});
  delete target;
  EXPECT_EQ(camera->Target(), nullptr);
  ExpectPoint(TPoint3D(0, 0, 0) * camera->CameraMatrix(), {0, 0, -15});
}

}  // namespace
}  // namespace sphaerix
