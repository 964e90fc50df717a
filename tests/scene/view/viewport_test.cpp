// The viewport and its frame, with a context that records what the frame does: the
// projection, the draw order of the viewer's scene, the frame's steps and states,
// repaint requests, the render target's life and the screenshot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/material/light.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/viewport_fakes.h"
#include "tests/support/window_fakes.h"

namespace sphaerix {
namespace {

using testing::FakeWindow;
using testing::RecordingContext;
using testing::RecordingRenderer;

// The viewer's tree, built in the layout's order: the viewport's children are the design
// rig, Sphere1 (with Disk1), Dummy1 (with Camera1 and Light1), Label1 and Sphere2; the
// material sources are assigned once the tree stands.
// The fakes come first among the bases, so they outlive the tree that points at them.
struct ViewerSceneFakes {
  FakeWindow root;
  RecordingRenderer renderer;
};

struct ViewerScene : ::testing::Test, ViewerSceneFakes, testing::TViewerTree {
  ViewerScene() : TViewerTree(renderer) {}

  TControl* label1 = new TControl(&owner);

  void SetUp() override {
    BuildTree(root, label1);
    sphere1->SetMaterialSource(planet);
    sphere2->SetMaterialSource(stars);
    disk1->SetMaterialSource(ring);
    sphere2->SetTwoSide(true);
    disk1->SetTwoSide(true);
  }
  void Resize(float AWidth, float AHeight) { viewport->SetSize(AWidth, AHeight); }
  RecordingContext& Context() { return *renderer.Last; }
};

TEST_F(ViewerScene, RenderingListIsStarsDummyPlanetRig) {
  const std::vector<TControl3D*> expected = {sphere2, dummy1, sphere1, viewport->DesignCameraZ()};
  EXPECT_EQ(viewport->RenderingList(), expected);
  // Opacity and material changes re-sort nothing.
  Resize(300, 200);
  sphere1->SetOpacity(0.5f);
  viewport->RenderFrame();
  EXPECT_EQ(viewport->RenderingList(), expected);
}

// The sky, kept while the camera stands: which frames draw it, keep it or put it back.
TEST_F(ViewerScene, TheSkyIsKeptWhileTheCameraStandsAndDrawnAfreshWhenAnythingOfItChanges) {
  sphere2->Scale().SetPoint({500, 500, 500});  // the viewer's sky, round the camera
  Resize(300, 200);
  Context().Keeps = true;
  auto turn = [this] { sphere1->RotationAngle().SetY(sphere1->RotationAngle().Y() + 5); };
  const struct {
    const char* What;
    std::function<void()> Change;
    bool Keeps, Restores, SkyDrawn;
  } steps[] = {
      {"the first frame", [] {}, false, false, true},
      {"the camera stood a frame", turn, true, true, false},
      {"it stands", turn, false, true, false},
      {"the camera moves", [this] { dummy1->RotationAngle().SetY(10); }, false, false, true},
      {"it stands again", turn, true, true, false},
      {"the sky fades", [this] { sphere2->SetOpacity(0.9f); }, false, false, true},
      {"it stands faded", turn, true, true, false},
      {"the ring reaches past the sky", [this] { disk1->Scale().SetPoint({1000, 1000, 1000}); }, false, false, true},
      {"it stays past it", turn, false, false, true},
      {"it comes back inside", [this] { disk1->Scale().SetPoint({1, 1, 1}); }, true, true, false},
      {"a target that cannot keep it", [this, turn] { Context().Keeps = false; turn(); }, false, false, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.What);
    step.Change();
    Context().Log.clear();
    Context().Draws.clear();
    ASSERT_TRUE(viewport->RenderFrame());
    const std::vector<std::string>& log = Context().Log;
    EXPECT_EQ(std::count(log.begin(), log.end(), "KeepBackground") > 0, step.Keeps);
    EXPECT_EQ(std::count(log.begin(), log.end(), "RestoreBackground") > 0, step.Restores);
    bool skyDrawn = false;
    for (std::size_t i = step.Keeps ? 1 : 0; i < Context().Draws.size(); ++i)
      skyDrawn = skyDrawn || Context().Draws[i].Vertices == &sphere2->Data().VertexBuffer();
    EXPECT_EQ(skyDrawn, step.SkyDrawn);
  }
}

TEST_F(ViewerScene, FrameDrawsStarsPlanetRingThroughCamera1) {
  Resize(300, 200);
  sphere1->SetOpacity(0.5f);
  ASSERT_TRUE(viewport->RenderFrame());
  RecordingContext& c = Context();
  ASSERT_EQ(c.Draws.size(), 3u);
  EXPECT_EQ(c.Draws[0].Vertices, &sphere2->Data().VertexBuffer());
  EXPECT_EQ(c.Draws[1].Vertices, &sphere1->Data().VertexBuffer());
  EXPECT_EQ(c.Draws[2].Vertices, &disk1->Data().VertexBuffer());
  EXPECT_EQ(c.Draws[1].Material, planet->Material());
  EXPECT_EQ(c.Draws[1].Opacity, 0.5f);
  EXPECT_EQ(c.Draws[2].Opacity, 0.5f);  // the ring fades with the planet
  EXPECT_TRUE(c.CurrentCameraMatrix() == camera1->CameraMatrix());
  // The light list was filled before the first draw.
  ASSERT_EQ(c.Draws[0].Lights.size(), 1u);
  EXPECT_NEAR(c.Draws[0].Lights[0].Direction.Z, 1, 1e-6);
  const std::vector<std::string> log = {"BeginScene", "Clear", "Draw", "Draw", "Draw", "EndScene", "CopyToFrame"};
  EXPECT_EQ(c.Log, log);
  EXPECT_EQ(c.ClearColor, claNull);
  EXPECT_EQ(c.ClearDepth, 1);
  EXPECT_EQ(c.ClearStencil, 0u);
}

// A sphere whose every pixel is opaque marks what it hides before anything draws; one
// that lets anything through, or that is not drawn with depth, marks nothing.
struct MarkingScene : ViewerSceneFakes, testing::TViewerTree {
  MarkingScene() : TViewerTree(renderer) {
    BuildTree(root);
    sphere1->SetMaterialSource(planet);
    sphere2->SetMaterialSource(stars);
    disk1->SetMaterialSource(ring);
  }
};

TEST(ViewerSceneMarks, OpaqueSpheresMarkWhatTheyHideBeforeAnythingDraws) {
  const struct {
    const char* Name;
    std::function<void(MarkingScene&)> Change;
    bool Marks;
  } cases[] = {
      {"plain colour", [](MarkingScene&) {}, true},
      {"opaque map",
       [](MarkingScene& s) {
         s.planet->Texture().SetSize(4, 4);
         s.planet->Texture().Clear(0xFF804020);
       },
       true},
      {"a clear pixel in the map",
       [](MarkingScene& s) {
         s.planet->Texture().SetSize(4, 4);
         s.planet->Texture().Clear(0xFF804020);
         s.planet->Texture().SetPixel(1, 1, 0x80402010);
         s.planet->Texture().BitmapChanged();
       },
       false},
      {"faded", [](MarkingScene& s) { s.sphere1->SetOpacity(0.99f); }, false},
      {"no depth", [](MarkingScene& s) { s.sphere1->SetZWrite(false); }, false},
      {"hidden", [](MarkingScene& s) { s.sphere1->SetVisible(false); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    MarkingScene scene;
    scene.viewport->SetSize(300, 200);
    c.Change(scene);
    ASSERT_TRUE(scene.viewport->RenderFrame());
    bool marked = false;
    for (const RecordingContext::Mark& m : scene.renderer.Last->Marks) {
      EXPECT_EQ(m.DrawsBefore, 0u) << "marked after a draw";
      marked = marked || m.Vertices == &scene.sphere1->Data().VertexBuffer();
    }
    EXPECT_EQ(marked, c.Marks);
  }
}

// The star sphere's render handler destroys the planet, a later sibling under the
// viewport: the frame goes on without it (and without its ring) and touches no freed node.
TEST_F(ViewerScene, AHandlerThatDestroysALaterNodeLeavesItOutOfTheFrame) {
  Resize(300, 200);
  sphere2->OnRender = [this](TSceneObject*, TDrawContext*) {
    delete sphere1;
    sphere1 = nullptr;
  };
  ASSERT_TRUE(viewport->RenderFrame());
  ASSERT_EQ(Context().Draws.size(), 1u);
  EXPECT_EQ(Context().Draws[0].Vertices, &sphere2->Data().VertexBuffer());
  EXPECT_EQ(viewport->RenderingList().size(), 3u);  // the stars and the two rigs
}

TEST_F(ViewerScene, RenderInternalStatesPerNode) {
  Resize(300, 200);
  sphere1->SetVisible(false);  // only the star sphere and the rigs draw
  viewport->RenderFrame();
  using S = TRenderState;
  const std::vector<S> nodeStates = {S::csZWriteOn, S::csZTestOn, S::csAllFace, S::csAlphaBlendOn};
  const std::vector<S> culled = {S::csZWriteOn, S::csZTestOn, S::csFrontFace, S::csAlphaBlendOn};
  std::vector<S> expected = {S::csScissorOff};
  expected.insert(expected.end(), nodeStates.begin(), nodeStates.end());  // Sphere2
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), culled.begin(), culled.end());  // Dummy1, Camera1, Light1
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), culled.begin(), culled.end());  // the design rig
  EXPECT_EQ(Context().States, expected);
  EXPECT_EQ(Context().Draws.size(), 1u);
}

TEST_F(ViewerScene, ProjectionOf1149By829) {
  Resize(1149, 829);
  ASSERT_TRUE(viewport->RenderFrame());
  RecordingContext& c = Context();
  const TMatrix3D& p = c.CurrentProjectionMatrix();
  EXPECT_NEAR(p.m[1][1], 2.4142136f, 1e-6);
  EXPECT_NEAR(p.m[0][0], 1.7418477f, 1e-6);
  EXPECT_NEAR(p.m[2][2], 1000.0f / (1 - 1000), 1e-5);
  EXPECT_NEAR(p.m[3][2], 1000.0f / (1 - 1000), 1e-5);
  EXPECT_EQ(p.m[2][3], -1);
  EXPECT_EQ(p.m[3][3], 0);
  const TMatrix3D vp = c.CurrentCameraMatrix() * p;
  const auto pixel = [&](TPoint3D world) {
    const TVector3D clip = TVector3D(world) * vp;
    return TPoint3D((clip.X / clip.W + 1) / 2 * 1149, (1 - clip.Y / clip.W) / 2 * 829, clip.Z / clip.W);
  };
  EXPECT_NEAR(pixel({1, 0, 0}).X, 641.21f, 0.01);
  EXPECT_NEAR(pixel({1, 0, 0}).Y, 414.5f, 0.01);
  EXPECT_NEAR(pixel({0, 1, 0}).Y, 481.21f, 0.01);
  EXPECT_NEAR(pixel({0, 0, 0}).Z, 0.93427f, 1e-5);
  // The draws used the same matrices.
  ASSERT_FALSE(c.Draws.empty());
  EXPECT_TRUE(c.Draws[0].MVP == c.Draws[0].Model * vp);
}

TEST_F(ViewerScene, EffectiveCameraFallsBackToTheDesignCamera) {
  Resize(300, 200);
  EXPECT_EQ(viewport->EffectiveCamera(), camera1);
  viewport->SetUsingDesignCamera(true);
  EXPECT_EQ(viewport->EffectiveCamera(), viewport->DesignCamera());
  viewport->SetUsingDesignCamera(false);
  delete camera1;
  EXPECT_EQ(viewport->Camera(), nullptr);
  EXPECT_EQ(viewport->EffectiveCamera(), viewport->DesignCamera());
  viewport->RenderFrame();
  EXPECT_TRUE(Context().CurrentCameraMatrix() == viewport->DesignCamera()->CameraMatrix());
  // The design camera stands 20 units out, tilted by the rig's -20 degrees about X.
  EXPECT_NEAR(viewport->DesignCamera()->AbsolutePosition().ToPoint3D().Length(), 20, 1e-4);
}

TEST_F(ViewerScene, RequestsReachTheWindowAndOnePaintDrawsOneFrame) {
  Resize(300, 200);
  root.Invalidations = 0;
  sphere1->RotationAngle().SetY(10);
  sphere1->SetOpacity(0.7f);
  EXPECT_EQ(root.Invalidations, 2);
  EXPECT_EQ(viewport->FrameCount(), 0u);
  // The window's one paint after both requests.
  ASSERT_TRUE(root.Dirty);
  viewport->RenderFrame();
  EXPECT_EQ(viewport->FrameCount(), 1u);
  EXPECT_EQ(std::count(Context().Log.begin(), Context().Log.end(), "BeginScene"), 1);
}

TEST_F(ViewerScene, MovesTooSmallToSeeAskForAFrameOnceTheyAddUpToAPixel) {
  Resize(1149, 829);
  viewport->RenderFrame();  // the frame on screen
  root.Invalidations = 0;
  // The body (33 px across its radius here) turns a hundredth of a degree at a time.
  auto turn = [&] { sphere1->RotationAngle().SetY(sphere1->RotationAngle().Y() + 0.01f); };
  int turns = 0;
  while (root.Invalidations == 0 && turns < 1000) turn(), ++turns;
  // 33 px x 0.01 degree is 0.0058 px a turn: a pixel after about 175 turns.
  EXPECT_GT(turns, 150);
  EXPECT_LT(turns, 200);
  viewport->RenderFrame();
  root.Invalidations = 0;
  turn();
  EXPECT_EQ(root.Invalidations, 0);
  // Anything but a move asks at once: a fade, the camera.
  sphere1->SetOpacity(0.99f);
  EXPECT_EQ(root.Invalidations, 1);
  viewport->RenderFrame();
  camera1->Position().SetZ(-15.001f);
  EXPECT_EQ(root.Invalidations, 2);
  // Unpaced, every change asks.
  viewport->RenderFrame();
  viewport->SetPaceFrames(false);
  turn();
  EXPECT_EQ(root.Invalidations, 3);
}

TEST_F(ViewerScene, NoFrameBeforeResizeOrWhileDrawing) {
  EXPECT_EQ(renderer.Created, 0);
  EXPECT_FALSE(viewport->RenderFrame());
  Resize(300, 200);
  bool nested = true;
  sphere2->OnRender = [&](TSceneObject*, TDrawContext*) { nested = viewport->RenderFrame(); };
  EXPECT_TRUE(viewport->RenderFrame());
  EXPECT_FALSE(nested);
  EXPECT_EQ(viewport->FrameCount(), 1u);
}

TEST_F(ViewerScene, FailedBeginDrawsNothingButStillCopies) {
  Resize(300, 200);
  Context().CanBegin = false;
  EXPECT_TRUE(viewport->RenderFrame());
  const std::vector<std::string> log = {"BeginScene failed", "CopyToFrame"};
  EXPECT_EQ(Context().Log, log);
}

TEST_F(ViewerScene, AnExceptionInADrawEndsTheSceneAndUnlocks) {
  Resize(300, 200);
  sphere2->OnRender = [](TSceneObject*, TDrawContext*) { throw std::runtime_error("boom"); };
  EXPECT_THROW(viewport->RenderFrame(), std::runtime_error);
  EXPECT_FALSE(viewport->Drawing());
  EXPECT_EQ(Context().Log.back(), "EndScene");
  sphere2->OnRender = nullptr;
  EXPECT_TRUE(viewport->RenderFrame());
}

TEST_F(ViewerScene, ResizeAndScaleMakeANewTarget) {
  root.Scale = 1.5f;
  Resize(101, 33);
  ASSERT_EQ(renderer.Created, 1);
  EXPECT_EQ(Context().Width(), 152);  // 151.5 rounds to even
  EXPECT_EQ(Context().Height(), 50);  // 49.5 rounds to even
  EXPECT_EQ(Context().Multisample(), TMultisample::FourSamples);
  root.Scale = 2;
  viewport->RenderFrame();
  EXPECT_EQ(renderer.Created, 2);
  EXPECT_EQ(Context().Width(), 202);
  viewport->SetMultisample(TMultisample::None);
  EXPECT_EQ(Context().Multisample(), TMultisample::None);
  EXPECT_EQ(renderer.Created, 2);
}

TEST_F(ViewerScene, ScreenshotHasTheScaledSizeAndKeepsUndrawnPixelsTransparent) {
  root.Scale = 2;
  Resize(40, 10);
  viewport->SetOpacity(0.5f);
  const unsigned long long before = viewport->FrameCount();
  std::unique_ptr<TBitmap> shot = viewport->MakeScreenshot();
  EXPECT_EQ(viewport->FrameCount(), before + 1);  // a fresh frame
  ASSERT_EQ(shot->Width(), 80);
  ASSERT_EQ(shot->Height(), 20);
  EXPECT_EQ(shot->BitmapScale(), 2);
  EXPECT_EQ(shot->Pixel(79, 19), claNull);
  // The drawn half at the viewport's opacity.
  EXPECT_EQ(shot->Pixel(0, 0), 0x801A334Du);
  // The 2D children go over it at the window's scale.
  EXPECT_EQ(renderer.ChildrenScales, std::vector<float>{2});
}

TEST(Viewport, InitialValuesAndDesignRig) {
  TViewport3D viewport(nullptr, nullptr);
  EXPECT_EQ(viewport.Width(), 100);
  EXPECT_EQ(viewport.Height(), 100);
  EXPECT_EQ(viewport.Color(), claWhite);
  EXPECT_TRUE(viewport.UsingDesignCamera());
  EXPECT_EQ(viewport.Multisample(), TMultisample::FourSamples);
  EXPECT_TRUE(viewport.AutoCapture());
  EXPECT_EQ(viewport.Context(), nullptr);
  ASSERT_EQ(viewport.Children().front(), viewport.DesignCameraZ());
  EXPECT_EQ(viewport.DesignCameraZ()->Tag(), 0xFFFE);
  EXPECT_EQ(viewport.DesignCameraX()->Parent(), viewport.DesignCameraZ());
  EXPECT_EQ(viewport.DesignCameraX()->RotationAngle().X(), 340);
  EXPECT_EQ(viewport.DesignCamera()->Parent(), viewport.DesignCameraX());
  EXPECT_EQ(viewport.DesignCamera()->Position().Z(), -20);
  EXPECT_EQ(viewport.DesignCamera()->Target(), nullptr);
}

}  // namespace
}  // namespace sphaerix
