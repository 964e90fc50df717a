#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "scene/nodes/control3d.h"
#include "tests/support/scene_fakes.h"

namespace sphaerix {
namespace {

using testing::FakeContext;
using testing::FakeViewport;

constexpr float kDeg = 3.14159265358979f / 180;

TMatrix3D RotX(float deg) {
  const float c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
  TMatrix3D m;
  m.m[1][1] = c, m.m[1][2] = s, m.m[2][1] = -s, m.m[2][2] = c;
  return m;
}
TMatrix3D RotY(float deg) {
  const float c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
  TMatrix3D m;
  m.m[0][0] = c, m.m[0][2] = -s, m.m[2][0] = s, m.m[2][2] = c;
  return m;
}
TMatrix3D RotZ(float deg) {
  const float c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
  TMatrix3D m;
  m.m[0][0] = c, m.m[0][1] = s, m.m[1][0] = -s, m.m[1][1] = c;
  return m;
}

void ExpectMatrixNear(const TMatrix3D& a, const TMatrix3D& b, float tol = 1e-5f) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << "m" << i + 1 << j + 1;
}

void ExpectPoint(const TPoint3D& p, TPoint3D e, float tol = 1e-5f) {
  EXPECT_NEAR(p.X, e.X, tol);
  EXPECT_NEAR(p.Y, e.Y, tol);
  EXPECT_NEAR(p.Z, e.Z, tol);
}

TPoint3D Row(const TMatrix3D& m, int r) { return {m.m[r][0], m.m[r][1], m.m[r][2]}; }

TEST(Control3D, NewNodeHasTheInitialValues) {
  TControl3D n;
  EXPECT_EQ(n.Position().Point(), TPoint3D(0, 0, 0));
  EXPECT_EQ(n.Scale().Point(), TPoint3D(1, 1, 1));
  EXPECT_EQ(n.Scale().DefaultValue(), TPoint3D(1, 1, 1));
  EXPECT_EQ(n.RotationAngle().Point(), TPoint3D(0, 0, 0));
  EXPECT_EQ(n.RotationCenter().Point(), TPoint3D(0, 0, 0));
  EXPECT_EQ(n.Quaternion(), TQuaternion3D::Identity());
  EXPECT_EQ(n.Width(), 1);
  EXPECT_EQ(n.Height(), 1);
  EXPECT_EQ(n.Depth(), 1);
  EXPECT_TRUE(n.Visible());
  EXPECT_TRUE(n.HitTest());
  EXPECT_TRUE(n.IsControl());
  EXPECT_EQ(n.Opacity(), 1);
  EXPECT_EQ(n.AbsoluteOpacity(), 1);
  EXPECT_TRUE(n.ZWrite());
  EXPECT_FALSE(n.TwoSide());
  EXPECT_FALSE(n.Opaque());
  EXPECT_EQ(n.Projection(), TProjection::Camera);
  EXPECT_EQ(n.LocalMatrix(), TMatrix3D::Identity());
  EXPECT_EQ(n.AbsoluteMatrix(), TMatrix3D::Identity());
  EXPECT_EQ(n.InvertAbsoluteMatrix(), TMatrix3D::Identity());
  TDummy d;
  EXPECT_FALSE(d.HitTest());
}

TEST(Position3D, EventsFollowTheCompareStoreNotifyRules) {
  TPosition3D p(nullptr, {1, 2, 3});
  int change = 0, changeX = 0;
  p.OnChange = [&](TSceneObject* s) { EXPECT_EQ(s, &p); ++change; };
  p.SetX(1);  // equal: nothing
  p.SetY(5);  // no OnChangeY: OnChange
  EXPECT_EQ(change, 1);
  p.OnChangeX = [&](TSceneObject*) { ++changeX; };
  p.SetX(7);  // OnChangeX instead of OnChange
  EXPECT_EQ(changeX, 1);
  EXPECT_EQ(change, 1);
  p.SetPoint({7, 5, 3});  // no comparison, OnChange only
  EXPECT_EQ(change, 2);
  EXPECT_EQ(changeX, 1);
  p.SetPoint3DNoChange({0, 0, 0});
  EXPECT_EQ(change, 2);
  EXPECT_TRUE(p.Empty());
  EXPECT_EQ(p.DefaultValue(), TPoint3D(1, 2, 3));
}

// -100 turns by -100 and reads back reduced; writing the raw value again stores it but
// turns nothing, because the difference to the last raw angle is 0.
TEST(RotationAngle, MinusHundredReadsBack260ThenMinusHundred) {
  TControl3D n;
  n.RotationAngle().SetY(-100);
  EXPECT_FLOAT_EQ(n.RotationAngle().Y(), 260);
  ExpectMatrixNear(n.LocalMatrix(), RotY(-100));
  const TQuaternion3D q = n.Quaternion();
  n.RotationAngle().SetY(-100);
  EXPECT_FLOAT_EQ(n.RotationAngle().Y(), -100);
  EXPECT_EQ(n.Quaternion(), q);
  ExpectMatrixNear(n.LocalMatrix(), RotY(-100));
}

// Saturn's tilt: the Z turn, written second, acts first in the node's own frame.
TEST(RotationAngle, MinusFiveXThenMinus26ZReadsAndComposesInWriteOrder) {
  TControl3D n;
  n.RotationAngle().SetX(-5);
  n.RotationAngle().SetZ(-26);
  EXPECT_FLOAT_EQ(n.RotationAngle().X(), 355);
  EXPECT_FLOAT_EQ(n.RotationAngle().Y(), 0);
  EXPECT_FLOAT_EQ(n.RotationAngle().Z(), 334);
  ExpectMatrixNear(n.LocalMatrix(), RotZ(-26) * RotX(-5));
  // Not the other order: the two differ by far more than the tolerance.
  const TMatrix3D other = RotX(-5) * RotZ(-26);
  EXPECT_GT(std::fabs(other.m[2][0] - n.LocalMatrix().m[2][0]) + std::fabs(other.m[1][2] - n.LocalMatrix().m[1][2]), 0.01f);
}

TEST(RotationAngle, OrderOfQuarterTurnsDecidesTheOrientation) {
  struct Case {
    bool XFirst;
    TPoint3D X, Y, Z;
  } cases[] = {{true, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {false, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}}};
  for (const Case& c : cases) {
    TControl3D n;
    if (c.XFirst) {
      n.RotationAngle().SetX(90);
      n.RotationAngle().SetY(90);
    } else {
      n.RotationAngle().SetY(90);
      n.RotationAngle().SetX(90);
    }
    ExpectPoint(Row(n.LocalMatrix(), 0), c.X);
    ExpectPoint(Row(n.LocalMatrix(), 1), c.Y);
    ExpectPoint(Row(n.LocalMatrix(), 2), c.Z);
  }
}

TEST(RotationAngle, ZeroingAllThreeAfterAnOrbitSnapsToTheIdentity) {
  TControl3D n;
  n.Position().SetPoint({1, 2, 3});
  for (float a : {37.0f, -120.5f, 15.25f, 200.0f, -3.75f}) {
    n.RotationAngle().SetX(n.RotationAngle().X() + a);
    n.RotationAngle().SetY(n.RotationAngle().Y() - 2 * a);
    n.RotationAngle().SetZ(a / 3);
  }
  n.RotationAngle().SetX(0);
  n.RotationAngle().SetY(0);
  n.RotationAngle().SetZ(0);
  EXPECT_EQ(n.LocalMatrix(), TMatrix3D::CreateTranslation({1, 2, 3}));
  EXPECT_EQ(n.Quaternion(), TQuaternion3D::Identity());
  EXPECT_EQ(n.SavedRotationAngle(), TPoint3D(0, 0, 0));
}

TEST(RotationAngle, FullTurnChangesNothing) {
  FakeViewport vp;
  TControl3D n;
  n.SetNewViewport(&vp);
  n.RotationAngle().SetX(360);
  EXPECT_EQ(n.Quaternion(), TQuaternion3D::Identity());
  EXPECT_EQ(n.SavedRotationAngle(), TPoint3D(0, 0, 0));
  EXPECT_EQ(n.RotationAngle().X(), 360);
  EXPECT_EQ(n.LocalMatrix(), TMatrix3D::Identity());
  EXPECT_EQ(vp.Requests, 0);
}

// A Point write turns X, then Y, then Z: the same orientation as the three axis writes
// in that order, with the raw values saved and the reduced ones stored.
TEST(RotationAngle, WholePointWriteMatchesAxisWritesInOrder) {
  TControl3D a, b;
  a.RotationAngle().SetPoint({-90, 360, 450});
  b.RotationAngle().SetX(-90);
  b.RotationAngle().SetY(360);
  b.RotationAngle().SetZ(450);
  ExpectMatrixNear(a.LocalMatrix(), b.LocalMatrix(), 1e-6f);
  ExpectMatrixNear(a.LocalMatrix(), RotZ(90) * RotX(-90));
  EXPECT_EQ(a.RotationAngle().Point(), TPoint3D(270, 360, 90));  // Y did not turn
  EXPECT_EQ(a.SavedRotationAngle(), TPoint3D(-90, 360, 450));
}

// A write that is not a number (or infinite) leaves the angle exactly as it was: it
// reads back unchanged, the saved angles keep their values, and zeroing the angles still
// returns to the start orientation.
TEST(RotationAngle, NotANumberOrInfinityLeavesTheAngleAsItWas) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (float bad : {nan, inf, -inf}) {
    for (int axis = 0; axis < 3; ++axis) {
      TControl3D n;
      n.RotationAngle().SetZ(30);
      n.RotationAngle().SetX(-5);
      const TPoint3D stored = n.RotationAngle().Point();
      const TPoint3D saved = n.SavedRotationAngle();
      const TMatrix3D before = n.LocalMatrix();
      int events = 0;
      n.RotationAngle().OnChange = [&](TSceneObject*) { ++events; };
      void (TPosition3D::*const setters[])(float) = {&TPosition3D::SetX, &TPosition3D::SetY,
                                                      &TPosition3D::SetZ};
      (n.RotationAngle().*setters[axis])(bad);
      EXPECT_EQ(n.RotationAngle().Point(), stored) << bad << " axis " << axis;
      EXPECT_EQ(n.SavedRotationAngle(), saved) << bad << " axis " << axis;
      EXPECT_EQ(n.LocalMatrix(), before) << bad << " axis " << axis;
      EXPECT_EQ(events, 0);
    }
    // A whole-point write turns the finite axes and keeps the stored value of the other.
    TControl3D n;
    n.RotationAngle().SetX(20);
    n.RotationAngle().SetPoint({bad, 0, 40});
    EXPECT_EQ(n.RotationAngle().Point(), TPoint3D(20, 0, 40)) << bad;
    EXPECT_FALSE(std::isnan(n.SavedRotationAngle().X)) << bad;
    ExpectMatrixNear(n.LocalMatrix(), RotZ(40) * RotX(20));
    // Nothing blocks the return to the start orientation.
    n.RotationAngle().SetX(0);
    n.RotationAngle().SetZ(0);
    EXPECT_EQ(n.LocalMatrix(), TMatrix3D::Identity()) << bad;
    EXPECT_EQ(n.Quaternion().RealPart, 1.0f);
  }
}

TEST(RotationAngle, ResetGivesTheStartOrientationWithoutEvents) {
  TControl3D n;
  n.RotationAngle().SetY(45);
  n.ResetRotationAngle();
  EXPECT_EQ(n.LocalMatrix(), TMatrix3D::Identity());
  EXPECT_EQ(n.RotationAngle().Point(), TPoint3D(0, 0, 0));
  EXPECT_EQ(n.SavedRotationAngle(), TPoint3D(0, 0, 0));
  n.RotationAngle().SetY(45);  // turns again from zero
  ExpectMatrixNear(n.LocalMatrix(), RotY(45));
}

TEST(LocalMatrix, ToleranceTestsActOnWholeVectors) {
  TControl3D n;
  n.Scale().SetPoint({1.00005f, 1, 1});
  EXPECT_EQ(n.LocalMatrix(), TMatrix3D::Identity());
  n.Scale().SetX(1.0002f);
  EXPECT_EQ(n.LocalMatrix().m[0][0], 1.0002f);
  n.Scale().SetX(1);
  n.Position().SetPoint({0.0005f, 0, 0});
  EXPECT_EQ(n.LocalMatrix(), TMatrix3D::Identity());
  n.Position().SetZ(0.002f);  // now the whole vector enters, x included
  EXPECT_EQ(n.LocalMatrix().m[3][0], 0.0005f);
  EXPECT_EQ(n.LocalMatrix().m[3][2], 0.002f);
}

TEST(LocalMatrix, ScaleThenRotateAboutThePivotThenTranslate) {
  TControl3D n;
  n.Scale().SetPoint({2, 2, 2});
  n.RotationCenter().SetPoint({1, 0, 0});
  n.RotationAngle().SetZ(90);
  n.Position().SetPoint({0, 0, 5});
  // The pivot (in the scaled frame) stays put under the rotation, then moves by Position.
  ExpectPoint(TPoint3D(0.5f, 0, 0) * n.LocalMatrix(), {1, 0, 5});
  // A point one unit (scaled) beyond it along x turns to +y of the pivot.
  ExpectPoint(TPoint3D(1, 0, 0) * n.LocalMatrix(), {1, 1, 5});
}

TEST(Opacity, ClampsAndMultipliesDownTheTree) {
  struct Case {
    float In, Out;
  } cases[] = {{1.5f, 1}, {-0.2f, 0}, {0.3f, 0.3f}, {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const Case& c : cases) {
    TControl3D n;
    n.SetOpacity(0.7f);
    n.SetOpacity(c.In);
    EXPECT_EQ(n.Opacity(), c.Out);
  }
  TControl3D parent;
  auto* child = new TControl3D(&parent);
  child->SetParent(&parent);
  parent.SetOpacity(0.5f);
  EXPECT_EQ(child->AbsoluteOpacity(), 0.5f);
  parent.SetOpacity(0.25f);  // after the child's cache was filled
  child->SetOpacity(0.5f);
  EXPECT_EQ(child->AbsoluteOpacity(), 0.125f);
}

TEST(AbsoluteMatrix, CameraPositionInAnUnrotatedAndATurnedDummy) {
  TDummy rig;
  auto* camera = new TDummy(&rig);
  camera->SetParent(&rig);
  camera->Position().SetZ(-15);
  EXPECT_EQ(camera->AbsolutePosition(), TVector3D(0, 0, -15, 1));
  rig.RotationAngle().SetY(90);  // the cached child matrix must follow
  const TVector3D p = camera->AbsolutePosition();
  EXPECT_NEAR(p.X, -15, 1e-5f);
  EXPECT_NEAR(p.Y, 0, 1e-5f);
  EXPECT_NEAR(p.Z, 0, 1e-5f);
  EXPECT_EQ(p.W, 1);
  // The camera's axes turn with the rig: its z axis (view direction) now points +x.
  ExpectPoint(camera->AbsoluteDirection().ToPoint3D(), {1, 0, 0});
  ExpectPoint(camera->AbsoluteToLocal3D({-15, 0, 0}), {0, 0, 0});
  ExpectPoint(camera->LocalToAbsolute3D({0, 0, 1}), {-14, 0, 0});
  const TVector3D dir = camera->LocalToAbsoluteDirection({0, 0, 3, 1});
  EXPECT_NEAR(dir.X, 1, 1e-6f);
  EXPECT_EQ(dir.W, 0);
  // Leaving the rig, the camera is a root again: its absolute matrix is its local one.
  camera->SetParent(nullptr);
  EXPECT_EQ(camera->AbsoluteMatrix(), camera->LocalMatrix());
  rig.RemoveObject(camera);
  delete camera;
}

TEST(Repaint, AsksTheViewportOnlyWhenVisibleAttachedAndNotUpdating) {
  FakeViewport vp;
  TControl3D root;
  root.SetNewViewport(&vp);
  auto* child = new TControl3D(&root);
  child->SetParent(&root);
  EXPECT_EQ(child->Viewport(), &vp);  // the child joins its parent's viewport
  vp.Requests = 0;
  child->Position().SetX(1);
  EXPECT_EQ(vp.Requests, 1);
  child->SetVisible(false);  // asks while still visible
  EXPECT_EQ(vp.Requests, 2);
  child->Position().SetX(2);
  EXPECT_EQ(vp.Requests, 2);
  child->SetVisible(true);  // asks once visible again
  EXPECT_EQ(vp.Requests, 3);
  root.BeginUpdate();
  child->SetOpacity(0.5f);
  root.SetWidth(3);
  EXPECT_EQ(vp.Requests, 3);
  root.EndUpdate();
  child->SetOpacity(0.4f);
  EXPECT_EQ(vp.Requests, 4);
  child->SetHitTest(false);  // plain stores
  child->SetTwoSide(true);
  EXPECT_EQ(vp.Requests, 4);
  root.SetVisible(false);
  vp.Requests = 0;
  delete child;  // a node being destroyed asks for nothing
  EXPECT_EQ(vp.Requests, 0);
  EXPECT_TRUE(root.Children().empty());
  EXPECT_TRUE(root.RenderingList().empty());
}

TEST(Repaint, RemovedChildAsksOnceAndLeavesTheViewport) {
  FakeViewport vp;
  TControl3D root;
  root.SetNewViewport(&vp);
  TControl3D child;
  child.SetParent(&root);
  vp.Requests = 0;
  child.SetParent(nullptr);
  EXPECT_EQ(vp.Requests, 1);
  EXPECT_EQ(child.Viewport(), nullptr);
}

TEST(Properties, PathsResolveCaseInsensitivelyAndWriteThroughSetters) {
  FakeViewport vp;
  TControl3D n;
  n.SetNewViewport(&vp);
  const TPropertyInfo* rot = n.FindProperty("rotationangle");
  ASSERT_NE(rot, nullptr);
  ASSERT_EQ(rot->PropKind, TPropertyInfo::Kind::Object);
  const TPropertyInfo* y = rot->GetObject()->FindProperty("Y");
  ASSERT_NE(y, nullptr);
  ASSERT_EQ(y->PropKind, TPropertyInfo::Kind::Float);
  y->SetFloat(-100);
  EXPECT_FLOAT_EQ(y->GetFloat(), 260);
  ExpectMatrixNear(n.LocalMatrix(), RotY(-100));
  n.FindProperty("POSITION")->GetObject()->FindProperty("z")->SetFloat(4);
  EXPECT_EQ(n.LocalMatrix().m[3][2], 4);
  const TPropertyInfo* opacity = n.FindProperty("opacity");
  ASSERT_EQ(opacity->PropKind, TPropertyInfo::Kind::Float);
  opacity->SetFloat(2);
  EXPECT_EQ(n.Opacity(), 1);
  for (const char* name : {"Scale", "RotationCenter"})
    EXPECT_EQ(n.FindProperty(name)->PropKind, TPropertyInfo::Kind::Object) << name;
  for (const char* name : {"Width", "Height", "Depth"}) {
    n.FindProperty(name)->SetFloat(3);
    EXPECT_EQ(n.FindProperty(name)->GetFloat(), 3) << name;
  }
  EXPECT_EQ(n.FindProperty("Nope"), nullptr);
  EXPECT_GT(vp.Requests, 0);
}

TEST(Ownership, OwnerReleasesItsNodes) {
  auto owner = std::make_unique<TControl3D>();
  auto* a = new TDummy(owner.get());
  auto* b = new TDummy(owner.get());
  b->SetParent(a);
  a->SetParent(owner.get());
  EXPECT_EQ(owner->RenderingList().size(), 1u);
  owner.reset();  // no leak or dangling use under the sanitizers
}

// ---------------------------------------------------------------------------------------
// Drawing

class DrawingShape : public TControl3D {
 public:
  using TControl3D::TControl3D;
  std::vector<std::string>* Log = nullptr;

 protected:
  void Render(TDrawContext*) override { Log->push_back("render " + Name()); }
};

TEST(RenderInternal, StatesInOrderThenRenderStepThenOnRenderThenVisibleChildren) {
  FakeContext ctx;
  std::vector<std::string> log;
  DrawingShape parent;
  parent.SetName("parent");
  parent.Log = &log;
  parent.Position().SetX(2);
  parent.SetTwoSide(true);
  parent.OnRender = [&](TSceneObject* s, TDrawContext* c) {
    EXPECT_EQ(c, &ctx);
    log.push_back("onrender " + s->Name());
  };
  DrawingShape a, hidden, grandchild;
  a.SetName("a");
  hidden.SetName("hidden");
  grandchild.SetName("grandchild");
  for (DrawingShape* s : {&a, &hidden, &grandchild}) s->Log = &log;
  a.SetParent(&parent);
  hidden.SetParent(&parent);
  grandchild.SetParent(&hidden);
  hidden.SetVisible(false);
  a.SetZWrite(false);
  a.SetOpaque(true);

  parent.RenderInternal(&ctx);
  EXPECT_EQ(log, (std::vector<std::string>{"render parent", "onrender parent", "render a"}));
  using S = TRenderState;
  EXPECT_EQ(ctx.States, (std::vector<S>{S::csZWriteOn, S::csZTestOn, S::cs3DScene, S::csAllFace, S::csAlphaBlendOn,
                                        S::csZWriteOff, S::csZTestOff, S::cs3DScene, S::csFrontFace,
                                        S::csAlphaBlendOff}));
  EXPECT_EQ(ctx.CurrentMatrix(), a.AbsoluteMatrix());
  EXPECT_EQ(a.AbsoluteMatrix(), TMatrix3D::CreateTranslation({2, 0, 0}));
}

// A render handler may change the tree it is drawn from: a sibling it destroys is not
// visited, a node that destroys itself ends its own drawing there.
TEST(RenderInternal, AHandlerThatDestroysASiblingOrItselfIsSafe) {
  FakeContext ctx;
  std::vector<std::string> log;
  DrawingShape parent;
  parent.SetName("parent");
  parent.Log = &log;
  auto* first = new DrawingShape(&parent);
  auto* second = new DrawingShape(&parent);
  auto* third = new DrawingShape(&parent);
  auto* grandchild = new DrawingShape(&parent);
  first->SetName("first");
  second->SetName("second");
  third->SetName("third");
  grandchild->SetName("grandchild");
  for (DrawingShape* s : {first, second, third}) {
    s->Log = &log;
    s->SetParent(&parent);
  }
  grandchild->Log = &log;
  grandchild->SetParent(third);
  ASSERT_EQ(parent.RenderingList(), (std::vector<TControl3D*>{third, second, first}));
  third->OnRender = [&](TSceneObject* s, TDrawContext*) {
    delete second;  // a sibling not yet drawn
    delete s;       // and itself, with its child that it does not own left as a root
  };
  parent.RenderInternal(&ctx);
  EXPECT_EQ(log, (std::vector<std::string>{"render parent", "render third", "render first"}));
  EXPECT_EQ(parent.RenderingList(), (std::vector<TControl3D*>{first}));
  EXPECT_EQ(grandchild->Parent(), nullptr);
}

TEST(RenderingList, EqualNodesComeOutReversedByTheQuicksort) {
  for (int n : {3, 4}) {
    std::vector<std::unique_ptr<TDummy>> nodes;
    std::vector<TControl3D*> list;
    for (int i = 0; i < n; ++i) {
      nodes.push_back(std::make_unique<TDummy>());
      list.push_back(nodes.back().get());
    }
    SortRenderingList(list);
    for (int i = 0; i < n; ++i) EXPECT_EQ(list[i], nodes[n - 1 - i].get()) << n << " items";
  }
  // The viewer's viewport list, sorted as Sphere2 joins while every comparison gives 0.
  TControl3D designZ, sphere1, dummy1, sphere2;
  std::vector<TControl3D*> list{&designZ, &sphere1, &dummy1, &sphere2};
  SortRenderingList(list);
  EXPECT_EQ(list, (std::vector<TControl3D*>{&sphere2, &dummy1, &sphere1, &designZ}));
}

TEST(RenderingList, TranslucentAfterOpaqueAndFartherFirst) {
  FakeContext ctx;
  TMatrix3D view;
  view.m[3][2] = -15;  // the translation row of the view matrix is P
  ctx.SetCameraMatrix(view);
  FakeViewport vp;
  vp.ContextPtr = &ctx;
  TControl3D root;
  root.SetNewViewport(&vp);
  TControl3D nearNode, farNode, glass, tiedNode;
  nearNode.Position().SetZ(-10);  // 5 from P
  farNode.Position().SetZ(10);    // 25 from P
  tiedNode.Position().SetZ(-10.5f);  // 4.5 from P: less than one unit from nearNode
  glass.SetOpacity(0.5f);
  glass.Position().SetZ(40);
  for (TControl3D* n : {&glass, &nearNode, &farNode}) n->SetParent(&root);
  EXPECT_EQ(root.RenderingList(), (std::vector<TControl3D*>{&farNode, &nearNode, &glass}));
  tiedNode.SetNewViewport(&vp);
  EXPECT_GT(RenderingCompare(&nearNode, &farNode), 0);
  EXPECT_LT(RenderingCompare(&farNode, &nearNode), 0);
  EXPECT_EQ(RenderingCompare(&nearNode, &tiedNode), 0);
  // Without a context only material, depth writing and opacity decide.
  vp.ContextPtr = nullptr;
  EXPECT_EQ(RenderingCompare(&nearNode, &farNode), 0);
  EXPECT_GT(RenderingCompare(&glass, &farNode), 0);
  nearNode.SetZWrite(false);
  EXPECT_EQ(RenderingCompare(&nearNode, &glass), 0);
  for (TControl3D* n : {&glass, &nearNode, &farNode}) n->SetParent(nullptr);
}

}  // namespace
}  // namespace sphaerix
