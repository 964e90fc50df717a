// Frames drawn by OpenGL and read back: the lit and textured planet, blending over the
// stars, the ring behind the planet, materials without or with too large a texture, the
// screenshot, and a viewport in a real window.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLWindow>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/gl_check.h"
#include "platform/gl_context.h"
#include "platform/gl_device.h"
#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/material/light.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "ui/canvas.h"
#include "ui/form.h"
#include "ui/form_window.h"
#include "ui/gl_viewport_renderer.h"
#include "tests/support/picture.h"
#include "tests/support/wait.h"
#include "tests/support/viewport_fakes.h"
#include "tests/support/window_fakes.h"

namespace sphaerix {
namespace {

using testing::Channels;
using testing::ColourNear;
using testing::Rgba;

using testing::FakeWindow;
using testing::TViewerTree;

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QGuiApplication(argc, argv);
}


void ExpectPixel(TAlphaColor AActual, Rgba AExpected, double ATolerance, const char* AWhat) {
  EXPECT_TRUE(ColourNear(Channels(AActual), AExpected, ATolerance)) << AWhat;
}

constexpr float kFacing = 0.988235f;  // the planet's grey where it faces the light
constexpr TAlphaColor kTexel = 0xFF8040C0;
constexpr TAlphaColor kStar = 0xFF204060;
constexpr TAlphaColor kRing = 0xFF00FF00;

// The offscreen context made current for the render targets, and its device.
struct OffscreenDevices : IGLDeviceSource {
  QOffscreenSurface& Surface;
  QOpenGLContext& Context;
  std::shared_ptr<TGLDevice> Device;
  OffscreenDevices(QOffscreenSurface& ASurface, QOpenGLContext& AContext) : Surface(ASurface), Context(AContext) {}
  std::shared_ptr<TGLDevice> MakeCurrent() override {
    if (QOpenGLContext::currentContext() != &Context && !Context.makeCurrent(&Surface)) return nullptr;
    if (!Device || !Device->Alive()) Device = TGLDevice::For(&Context);
    return Device;
  }
};

// The device comes first among the bases, so the scene's GL objects go while it lives.
struct RenderDevice {
  QOffscreenSurface surface;
  QOpenGLContext gl;
  OffscreenDevices devices{surface, gl};
  TGLViewportRenderer renderer{devices};
  FakeWindow root;
};

// The viewer's scene, small: star sphere, planet (radius 5) with its ring, and the rig
// holding Camera1 at (0, 0, -15) and the white directional Light1.
struct RenderScene : ::testing::Test, RenderDevice, TViewerTree {
  RenderScene() : TViewerTree(renderer) {}

  void SetUp() override {
    EnsureApplication();
    surface.setFormat(GLSurfaceFormat());
    surface.create();
    gl.setFormat(GLSurfaceFormat());
    ASSERT_TRUE(gl.create());
    ASSERT_TRUE(gl.makeCurrent(&surface));
    BuildTree(root);

    sphere1->SetSubdivisionsAxes(50);
    sphere1->SetSubdivisionsHeight(50);
    sphere1->SetWrapMode(TMeshWrapMode::Fit);
    sphere1->Scale().SetPoint({10, 10, 10});  // radius 5, as in the viewer
    planet->SetDiffuse(0xFFA4A4A4);
    planet->SetAmbient(0xFF585858);
    planet->SetEmissive(claNull);
    planet->SetSpecular(claNull);
    Fill(planet->Texture(), 64, 32, kTexel);
    sphere1->SetMaterialSource(planet);

    disk1->SetSubdivisionsAxes(50);
    disk1->Scale().SetPoint({2.2f, 2.2f, 2.2f});  // radius 11
    disk1->SetTwoSide(true);
    disk1->SetVisible(false);
    Fill(ring->Texture(), 16, 16, kRing);
    disk1->SetMaterialSource(ring);

    sphere2->SetSize(200, 200, 200);
    sphere2->SetTwoSide(true);
    Fill(stars->Texture(), 32, 16, kStar);
    sphere2->SetMaterialSource(stars);

    viewport->SetSize(200, 160);
  }

  void TearDown() override {
    // GL objects go while the context is current.
    for (TSceneObject* o : {static_cast<TSceneObject*>(viewport), static_cast<TSceneObject*>(planet),
                          static_cast<TSceneObject*>(stars), static_cast<TSceneObject*>(ring)})
      delete o;
    gl.doneCurrent();
  }

  static void Fill(TBitmap& ABitmap, int AWidth, int AHeight, TAlphaColor AColor) {
    ABitmap.SetSize(AWidth, AHeight);
    ABitmap.Clear(AColor);
  }

  std::unique_ptr<TBitmap> Frame() { return viewport->MakeScreenshot(); }

  // The pixel at which the world point AWorld appears in the last frame.
  std::pair<int, int> PixelOf(TPoint3D AWorld) {
    TRenderTargetContext* c = viewport->RenderContext();
    const TVector3D clip = TVector3D(AWorld) * (c->CurrentCameraMatrix() * c->CurrentProjectionMatrix());
    return {static_cast<int>((clip.X / clip.W + 1) / 2 * c->Width()),
            static_cast<int>((1 - clip.Y / clip.W) / 2 * c->Height())};
  }
};

Rgba Lit(TAlphaColor ATexel, float AGrey, float AOpacity = 1) {
  const Rgba t = Channels(ATexel);
  return {t.R * AGrey * AOpacity, t.G * AGrey * AOpacity, t.B * AGrey * AOpacity, t.A * AOpacity};
}

TEST_F(RenderScene, LitTexturedPlanetCentreIsTexelTimesFacingGrey) {
  sphere2->SetVisible(false);
  auto frame = Frame();
  auto* context = dynamic_cast<TGLRenderContext*>(viewport->RenderContext());
  ASSERT_NE(context, nullptr);
  EXPECT_GE(context->SampleCount(), 1);
  ExpectPixel(frame->Pixel(100, 80), Lit(kTexel, kFacing), 1.0f, "planet centre");
  // Outside the planet nothing was drawn: transparent, as the clear colour is claNull.
  EXPECT_EQ(frame->Pixel(2, 2), claNull);
}

TEST_F(RenderScene, SampleCountFollowsMultisample) {
  sphere2->SetVisible(false);
  const struct {
    TMultisample Asked;
    int Samples;
  } cases[] = {{TMultisample::FourSamples, 4}, {TMultisample::None, 1}, {TMultisample::TwoSamples, 2}};
  for (const auto& c : cases) {
    viewport->SetMultisample(c.Asked);
    auto frame = Frame();
    auto* context = dynamic_cast<TGLRenderContext*>(viewport->RenderContext());
    ASSERT_NE(context, nullptr);
    // The device may round a count up, never down below what was asked.
    EXPECT_GE(context->SampleCount(), c.Samples);
    if (c.Samples == 1) EXPECT_EQ(context->SampleCount(), 1);
    ExpectPixel(frame->Pixel(100, 80), Lit(kTexel, kFacing), 1.0f, "planet centre");
  }
}

TEST_F(RenderScene, HalfTransparentPlanetBlendsOverTheStars) {
  auto opaque = Frame();
  ExpectPixel(opaque->Pixel(2, 2), Channels(kStar), 0.5f, "star pixel");
  sphere1->SetOpacity(0.5f);
  auto frame = Frame();
  const Rgba planetHalf = Lit(kTexel, kFacing, 0.5f), star = Channels(kStar);
  const Rgba expected = {planetHalf.R + 0.5f * star.R, planetHalf.G + 0.5f * star.G,
                         planetHalf.B + 0.5f * star.B, 255};
  ExpectPixel(frame->Pixel(100, 80), expected, 1.5f, "half planet over star");
}

TEST_F(RenderScene, FarHalfOfTheRingIsHiddenByThePlanet) {
  disk1->SetVisible(true);
  disk1->RotationAngle().SetX(30);
  auto frame = Frame();
  // A ring point behind the planet and one in front of it, both over the planet's disk.
  const float s = std::sin(30 * 3.14159265f / 180), c = std::cos(30 * 3.14159265f / 180);
  const auto far = PixelOf({0, -7 * s, 7 * c});
  const auto near = PixelOf({0, 5.5f * s, -5.5f * c});
  ASSERT_GT(far.second, 0);
  ASSERT_LT(near.second, 160);
  // The planet's own grey varies off-centre; its hue does not.
  const Rgba behind = Channels(frame->Pixel(far.first, far.second));
  EXPECT_GT(behind.B, behind.R) << "planet colour expected where the ring is behind it";
  EXPECT_LT(behind.G, behind.B);
  ExpectPixel(frame->Pixel(near.first, near.second), Channels(kRing), 0.5f, "ring in front");
}

TEST_F(RenderScene, MaterialWithoutTextureDrawsItsLitColour) {
  sphere2->SetVisible(false);
  TLightMaterialSource plain(&owner);
  plain.SetDiffuse(0xFFA4A4A4);
  plain.SetAmbient(0xFF585858);
  plain.SetSpecular(claNull);
  sphere1->SetMaterialSource(&plain);
  sphere1->SetOpacity(0.5f);
  auto frame = Frame();
  ExpectPixel(frame->Pixel(100, 80), Lit(claWhite, kFacing, 0.5f), 1.0f, "lit colour at half opacity");
  sphere1->SetMaterialSource(nullptr);
}

TEST_F(RenderScene, TextureAboveTheDeviceLimitSamplesWhite) {
  GLint max = 0;
  gl.functions()->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  Fill(stars->Texture(), max + 1, 1, 0xFFFF0000);
  sphere2->SetOpacity(0.5f);
  auto frame = Frame();
  ExpectPixel(frame->Pixel(2, 2), {127.5f, 127.5f, 127.5f, 127.5f}, 1.0f, "white times opacity");
}

TEST_F(RenderScene, ScreenshotHasScaledSizeAndTransparentUndrawnPixels) {
  root.Scale = 2;
  sphere2->SetVisible(false);
  auto shot = Frame();
  ASSERT_EQ(shot->Width(), 400);
  ASSERT_EQ(shot->Height(), 320);
  EXPECT_EQ(shot->BitmapScale(), 2);
  EXPECT_EQ(shot->Pixel(0, 0), claNull);
  EXPECT_EQ(shot->Pixel(399, 319), claNull);
  ExpectPixel(shot->Pixel(200, 160), Lit(kTexel, kFacing), 1.0f, "planet centre at scale 2");
}

TEST_F(RenderScene, UnchangedTexturesAndMeshesAreNotUploadedAgain) {
  Frame();
  const TTexture* texture = planet->LightMaterial().Texture();
  ASSERT_NE(texture, nullptr);
  const TTextureHandle* handle = texture->Handle();
  ASSERT_NE(handle, nullptr);
  const std::uint64_t revision = texture->Revision();
  Frame();
  EXPECT_EQ(texture->Handle(), handle);
  EXPECT_EQ(texture->Revision(), revision);
  // A new image shows in the next frame.
  Fill(planet->Texture(), 64, 32, 0xFF40C080);
  sphere2->SetVisible(false);
  auto frame = Frame();
  ExpectPixel(frame->Pixel(100, 80), Lit(0xFF40C080, kFacing), 1.0f, "new texture");
}

// A 2D child of the viewport (the viewer's title stands for it): a red box.
class RedBox : public TControl {
 public:
  using TControl::TControl;
  void Paint(TCanvas2D& ACanvas) override {
    ACanvas.Begin(*this).fillRect(QRectF(0, 0, Width(), Height()), QColor(255, 0, 0));
  }
};

TEST(RenderWindow, OpenGL33IsAvailable) {
  EnsureApplication();
  std::string why;
  EXPECT_TRUE(CheckOpenGL33(why)) << why;
}

// A viewport in a real window: the window's black fill shows where the claNull frame
// stays transparent, and repaint requests coalesce into one frame per paint.
TEST(RenderWindow, ViewportOverBlackWindowAndOneFramePerPaint) {
  EnsureApplication();
  TFormBase form(nullptr);
  form.Window()->setFormat(GLSurfaceFormat());
  form.SetFill(claBlack);
  form.SetClientSize(240, 180);
  // The planet alone (radius 3), plain grey, lit by the rig's light.
  TViewerTree tree(form.ViewportRenderer());
  tree.BuildTree(form);
  TViewport3D* viewport = tree.viewport;
  TSphere* sphere = tree.sphere1;
  form.AddObject(viewport);
  viewport->SetAlign(TAlignMode::Client);
  tree.sphere2->SetVisible(false);
  tree.disk1->SetVisible(false);
  sphere->SetSize(6, 6, 6);
  sphere->SetSubdivisionsAxes(50);
  sphere->SetSubdivisionsHeight(50);
  tree.planet->SetDiffuse(0xFFA4A4A4);
  tree.planet->SetAmbient(0xFF585858);
  tree.planet->SetSpecular(claNull);
  sphere->SetMaterialSource(tree.planet);
  form.Show();

  // Each swap of the window's buffers shows the frames its paint drew: never more than one.
  int swaps = 0;
  unsigned long long framesAtSwap = 0, mostFramesInAPaint = 0;
  QObject::connect(form.Window(), &QOpenGLWindow::frameSwapped, [&] {
    ++swaps;
    mostFramesInAPaint = std::max(mostFramesInAPaint, viewport->FrameCount() - framesAtSwap);
    framesAtSwap = viewport->FrameCount();
  });
  ASSERT_TRUE(testing::WaitFor([&] { return viewport->FrameCount() > 0 && swaps > 0; }))
      << "the window never painted its viewport";

  // Two requests before the window paints: one paint, one frame, at the last opacity.
  const int swapsBefore = swaps;
  sphere->SetOpacity(0.9f);
  sphere->SetOpacity(0.8f);
  ASSERT_TRUE(testing::WaitFor([&] { return swaps > swapsBefore; }, 30000));
  EXPECT_EQ(mostFramesInAPaint, 1u);

  const QImage shown = form.Window()->screen()->grabWindow(form.Window()->winId()).toImage();
  ASSERT_FALSE(shown.isNull());
  const qreal dpr = form.Window()->devicePixelRatio();
  const QColor corner = shown.pixelColor(int(3 * dpr), int(3 * dpr));
  EXPECT_EQ(corner.red(), 0);
  EXPECT_EQ(corner.green(), 0);
  EXPECT_EQ(corner.blue(), 0);
  const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
  const float expected = 255 * kFacing * 0.8f;
  EXPECT_NEAR(centre.red(), expected, 1.5);
  EXPECT_NEAR(centre.green(), expected, 1.5);

  // A screenshot taken outside any paint: a fresh frame at the window's scale with the
  // visible 2D children over it, undrawn pixels transparent.
  auto* box = new RedBox(&form);
  viewport->AddObject(box);
  box->SetBounds(10, 10, 20, 20);
  std::unique_ptr<TBitmap> shot = viewport->MakeScreenshot();
  ASSERT_EQ(shot->Width(), static_cast<int>(std::lround(240 * dpr)));
  ASSERT_EQ(shot->Height(), static_cast<int>(std::lround(180 * dpr)));
  EXPECT_EQ(shot->Pixel(int(3 * dpr), int(3 * dpr)), claNull);
  EXPECT_EQ(shot->Pixel(int(15 * dpr), int(15 * dpr)), 0xFFFF0000u);
  ExpectPixel(shot->Pixel(shot->Width() / 2, shot->Height() / 2), Lit(claWhite, kFacing, 0.8f), 1.5f,
              "planet in the screenshot");
  box->SetVisible(false);
  shot = viewport->MakeScreenshot();
  EXPECT_EQ(shot->Pixel(int(15 * dpr), int(15 * dpr)), claNull);

  form.Hide();
  delete box;
}

}  // namespace
}  // namespace sphaerix
