// The viewer in a real window: start, body switches with their fades, rings and tilts,
// overlapping selections, layout at two widths, and the picture itself.
#include <QElapsedTimer>
#include <QImage>
#include <QOpenGLWindow>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "platform/background_decode.h"
#include "platform/bitmap_codecs.h"
#include "platform/bitmap_codecs.h"
#include "platform/resource_stream.h"
#include "scene/animation/animation.h"
#include "scene/animation/clock.h"
#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/nodes/control3d.h"
#include "scene/material/material.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/picture.h"
#include "tests/support/picture_compare.h"
#include "tests/support/viewer_fixture.h"
#include "tests/support/x11_driver.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

// A cheap fingerprint of a bitmap's pixels: a sample every few thousand pixels.
// Of the picture a material's bitmap stands for: its pixels, or, once the device holds
// them and the bitmap has let them go, the picture decoded again from its origin.
std::uint64_t Fingerprint(const TBitmap& ABitmap) {
  if (!ABitmap.Bits() && ABitmap.Origin()) {
    TBitmap again;
    ABitmap.OriginDecoder()->LoadFromMemory(again, ABitmap.Origin(), ABitmap.OriginSize());
    return Fingerprint(again);
  }
  std::uint64_t h = static_cast<std::uint64_t>(ABitmap.Width()) * 1000003u + ABitmap.Height();
  const std::size_t n = static_cast<std::size_t>(ABitmap.Width()) * ABitmap.Height();
  for (std::size_t i = 0; i < n; i += 4099) h = h * 1099511628211ull ^ ABitmap.Bits()[i];
  return h;
}

// Of the body's map at the size the body's material holds it now.
std::uint64_t MapFingerprint(int ABody) {
  TResourceStream stream(BodyTextureResourceName(ABody).toStdString());
  TQtBitmapCodecs codecs;
  codecs.SetReduction(Form2->Maps().ShownReduction());
  TBitmap map;
  codecs.LoadFromMemory(map, stream.Memory(), static_cast<std::size_t>(stream.Size()));
  return Fingerprint(map);
}

void Select(int ABody) { Form2->Buttons[ABody]->Click(); }


}  // namespace

using Viewer = ViewerFixture;

class ViewerStart : public ViewerFixture {
 protected:
  bool WatchesTheFlyIn() const override { return true; }
};

TEST_F(ViewerStart, StartsWithEarthSpinningAndTheCameraFlyingIn) {
  EXPECT_EQ(Form2->Label1->Text(), "Earth");
  EXPECT_TRUE(Form2->Label1->Visible());
  EXPECT_FALSE(Form2->Text1->Visible());
  EXPECT_FALSE(Form2->Text2->Visible());
  EXPECT_EQ(CurrentBody, 0);
  EXPECT_EQ(Form2->Text2->Text(), BodyFacts[0]);
  EXPECT_EQ(Form2->Sphere1->Opacity(), 1.0f);
  EXPECT_TRUE(Form2->FloatAnimation1->Running());
  EXPECT_FALSE(Form2->Disk1->Visible());
  // The camera is still on its way in (checked first: how soon the maps below arrive
  // depends on the machine's load).
  EXPECT_LT(Form2->Camera1->Position().Z(), -15.0f);
  // The first frame's map is the body's at a quarter of its size; the half-size one
  // takes its place after the first frame, the whole sky likewise.
  EXPECT_TRUE(WaitFor([] {
    return Form2->Maps().ShownReduction() == TForm2::FarReduction && Form2->Maps().Settled() &&
           Form2->Maps().StarsReduction() == 1;
  }));
  EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), MapFingerprint(0));
  // Stars first, then the rig, the planet (with its ring) and the design rig.
  const std::vector<TControl3D*> order = {Form2->Sphere2, Form2->Dummy1, Form2->Sphere1,
                                          Form2->Viewport3D1->DesignCameraZ()};
  EXPECT_EQ(Form2->Viewport3D1->RenderingList(), order);
  // The fly-in ends at -15 three seconds after the spin began.
  EXPECT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }));
  const float y = Form2->Sphere1->RotationAngle().Y();
  EXPECT_TRUE(WaitFor([y] { return Form2->Sphere1->RotationAngle().Y() != y; }));
}

namespace {

// The largest channel difference over a grid of pixels across both pictures, and how
// many grid pixels differ by more than ATolerance.
TPictureDifference Compare(const TBitmap& A, const TBitmap& B, double ATolerance) {
  return ComparePictures(A, B, ATolerance, [](int x, int y) { return x % 7 == 3 && y % 7 == 2; });
}

// The view held still: the spin stopped at a fixed angle, the rig straight.
std::unique_ptr<TBitmap> StillView() {
  Form2->FloatAnimation1->StopAtCurrent();
  Form2->Sphere1->RotationAngle().SetY(-40);
  return Form2->Viewport3D1->MakeScreenshot();
}

}  // namespace

// Puts the body's map at 1/AReduction of its size in the body's material, decoded here.
void HoldMap(int ABody, int AReduction) {
  TQtBitmapCodecs codecs;
  TResourceStream map(BodyTextureResourceName(ABody).toStdString());
  codecs.SetReduction(AReduction);
  TBitmap b;
  codecs.LoadFromMemory(b, map.Memory(), static_cast<std::size_t>(map.Size()));
  Form2->LightMaterialSource1->Texture().TakeOver(b);
}

TEST_F(ViewerStart, AfterTheFlyInTheHalfSizeMapLooksAsTheWholeOne) {
  ASSERT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }, 30000));
  ASSERT_TRUE(WaitFor([] {
    return Form2->Maps().ShownReduction() == TForm2::FarReduction && Form2->Maps().Settled() &&
           Form2->Maps().StarsReduction() == 1;
  }));
  const std::unique_ptr<TBitmap> shown = StillView();
  // The same view from the whole maps, decoded here, as a start without reduced decodes
  // would have them.
  HoldMap(0, 1);
  {
    TResourceStream stars("Stars");
    Form2->TextureMaterialSource3->Texture().LoadFromStream(stars);
  }
  const std::unique_ptr<TBitmap> whole = StillView();
  // At this distance the half-size map gives about 0.7 texels a pixel: a few coastline
  // pixels differ a little, nothing an eye finds.
  const TPictureDifference same = Compare(*shown, *whole, 8);
  EXPECT_LE(same.Beyond, same.Pixels / 200) << "largest difference " << same.Largest;
  EXPECT_LE(same.Largest, 40);
  // The check has teeth: the first frame's quarter-size map differs plainly.
  HoldMap(0, TForm2::FirstFrameReduction);
  const std::unique_ptr<TBitmap> soft = StillView();
  const TPictureDifference differs = Compare(*soft, *whole, 4);
  EXPECT_GT(differs.Beyond, differs.Pixels / 100) << "largest difference " << differs.Largest;
}

TEST_F(Viewer, ZoomingInBringsTheWholeMapWithoutWaitingAndASwitchAtTheDefaultDistanceTheHalfOne) {
  ASSERT_TRUE(WaitFor([] { return Form2->Maps().ShownReduction() == TForm2::FarReduction && Form2->Maps().Settled(); }));
  // One wheel step in: the whole map is on its way, the step itself returns at once.
  Form2->DoZoom(true);
  EXPECT_FALSE(Form2->Maps().Settled());
  while (Form2->Camera1->Position().Z() < -6.0f) Form2->DoZoom(true);
  ASSERT_TRUE(WaitFor([] { return Form2->Maps().ShownReduction() == 1 && Form2->Maps().Settled(); }));
  EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), MapFingerprint(0));
  // At the nearest distance the half-size map would be plainly softer.
  const std::unique_ptr<TBitmap> near = StillView();
  HoldMap(0, TForm2::FarReduction);
  const TPictureDifference differs = Compare(*StillView(), *near, 4);
  EXPECT_GT(differs.Beyond, differs.Pixels / 100) << "largest difference " << differs.Largest;
  HoldMap(0, 1);
  // Near, a switch brings the whole map at once; back at the default distance, half.
  Form2->Buttons[1]->Click();
  EXPECT_EQ(Form2->Maps().ShownReduction(), 1);
  EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), MapFingerprint(1));
  while (Form2->Camera1->Position().Z() > -15.0f) Form2->DoZoom(false);
  Form2->Buttons[0]->Click();
  EXPECT_EQ(Form2->Maps().ShownReduction(), TForm2::FarReduction);
  EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), MapFingerprint(0));
}

TEST_F(Viewer, TheHalfSizeRingLooksAsTheWholeOneFromEveryDistance) {
  Select(5);
  ASSERT_EQ(Form2->TextureMaterialSource2->TextureMaterial().Texture()->Width(), 4096 / TForm2::RingReduction);
  for (float z : {-15.0f, -10.0f, -6.0f}) {
    SCOPED_TRACE(z);
    Form2->Camera1->Position().SetZ(z);
    TResourceStream ring("SaturnRing");
    TBitmap half;
    ReducedCodecs(TForm2::RingReduction).LoadFromMemory(half, ring.Memory(), static_cast<std::size_t>(ring.Size()));
    Form2->TextureMaterialSource2->Texture().TakeOver(half);
    const std::unique_ptr<TBitmap> shown = StillView();
    Form2->TextureMaterialSource2->Texture().LoadFromStream(ring);
    const std::unique_ptr<TBitmap> whole = StillView();
    const TPictureDifference d = Compare(*shown, *whole, 8);
    EXPECT_LE(d.Beyond, d.Pixels / 200) << "largest difference " << d.Largest;
    EXPECT_LE(d.Largest, 40);
  }
}

TEST_F(Viewer, SaturnShowsItsRingAndTiltsRigAndSky) {
  Select(5);
  EXPECT_EQ(CurrentBody, 5);
  EXPECT_EQ(Form2->Label1->Text(), "Saturn");
  EXPECT_TRUE(Form2->Disk1->Visible());
  EXPECT_EQ(Form2->Disk1->MaterialSource(), Form2->TextureMaterialSource2);
  const TPosition3D& rig = Form2->Dummy1->RotationAngle();
  EXPECT_NEAR(rig.X(), 355.0f, 1e-3);
  EXPECT_EQ(rig.Y(), 0.0f);
  EXPECT_NEAR(rig.Z(), 334.0f, 1e-3);
  EXPECT_NEAR(Form2->Sphere2->RotationAngle().X(), 355.0f, 1e-3);
  EXPECT_NEAR(Form2->Sphere2->RotationAngle().Z(), 334.0f, 1e-3);
  EXPECT_EQ(Form2->Sphere1->Opacity(), 1.0f);
  EXPECT_TRUE(Form2->FloatAnimation1->Running());

  // Saturn then Jupiter: the ring goes and both tilts return to 0.
  Select(2);
  EXPECT_FALSE(Form2->Disk1->Visible());
  EXPECT_EQ(Form2->Dummy1->RotationAngle().X(), 0.0f);
  EXPECT_EQ(Form2->Dummy1->RotationAngle().Z(), 0.0f);
  EXPECT_EQ(Form2->Sphere2->RotationAngle().X(), 0.0f);
  EXPECT_EQ(Form2->Sphere2->RotationAngle().Z(), 0.0f);
}

TEST_F(Viewer, UranusThenSaturnSwapsRingAndTilt) {
  Select(6);
  EXPECT_EQ(Form2->Disk1->MaterialSource(), Form2->TextureMaterialSource1);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().X(), 350.0f, 1e-3);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Z(), 263.0f, 1e-3);
  Select(5);
  EXPECT_TRUE(Form2->Disk1->Visible());
  EXPECT_EQ(Form2->Disk1->MaterialSource(), Form2->TextureMaterialSource2);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().X(), 355.0f, 1e-3);
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Z(), 334.0f, 1e-3);
}

TEST_F(Viewer, TheButtonOfTheBodyOnScreenDoesNothing) {
  Form2->Dummy1->RotationAngle().SetY(40);
  const std::uint64_t revision = Form2->LightMaterialSource1->LightMaterial().Texture()->Revision();
  // A fade would pump events: the poll would see the body fading.
  float lowest = 1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] { lowest = std::min(lowest, Form2->Sphere1->Opacity()); });
  poll.start(0);
  Select(0);
  poll.stop();
  EXPECT_EQ(lowest, 1.0f);
  EXPECT_EQ(Form2->LightMaterialSource1->LightMaterial().Texture()->Revision(), revision);  // no map loaded
  EXPECT_NEAR(Form2->Dummy1->RotationAngle().Y(), 40.0f, 1e-4);  // the orbit is kept
}

TEST_F(Viewer, EarthMarsEarthShowsTheEarthMapAgain) {
  Select(1);
  EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), MapFingerprint(1));
  Select(0);
  // At the default distance, at half its size.
  EXPECT_EQ(Form2->LightMaterialSource1->LightMaterial().Texture()->Width(), 4096 / TForm2::FarReduction);
  EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), MapFingerprint(0));
}

TEST_F(Viewer, WithAutoRotateOffASelectionLeavesTheBodyStill) {
  Form2->MenuItem1Click(Form2->MenuItem1);
  EXPECT_FALSE(Form2->MenuItem1->IsChecked());
  Select(3);
  EXPECT_FALSE(Form2->FloatAnimation1->Running());
  const float y = Form2->Sphere1->RotationAngle().Y();
  // Once the clock has nothing left to run (the fly-in ends), nothing can turn the body.
  EXPECT_TRUE(WaitFor([] { return !TAniThread::Instance() || TAniThread::Instance()->Animations().empty(); }));
  EXPECT_EQ(Form2->Sphere1->RotationAngle().Y(), y);
  // Switched on again, the spin resumes from where it stopped.
  Form2->MenuItem1Click(Form2->MenuItem1);
  EXPECT_TRUE(Form2->FloatAnimation1->Running());
  EXPECT_NEAR(Form2->FloatAnimation1->StartValue(), y, 1e-3);
}

// A click that arrives while another selection fades: what is on screen is what
// CurrentBody names, whether the click came during the fade-out or the fade-in. The click
// is made from inside the fade's own wait, whatever the machine's speed: the first event
// the fade-out waits on, or the first one after the title changed to the new body.
TEST_F(Viewer, ASelectionDuringATransitionLeavesTheBodyOnScreenCurrent) {
  for (const bool duringFadeIn : {false, true}) {
    const char* phase = duringFadeIn ? "fade-in" : "fade-out";
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (duringFadeIn && Form2->Label1->Text() != "Saturn") return;
      poll.stop();
      Select(1);
    });
    poll.start(duringFadeIn ? 1 : 0);
    Select(5);
    EXPECT_FALSE(poll.isActive()) << phase;
    EXPECT_TRUE(WaitFor([] { return Form2->Sphere1->Opacity() == 1.0f && Form2->FloatAnimation1->Running(); }))
        << phase;
    EXPECT_EQ(CurrentBody, 1) << phase;
    EXPECT_EQ(Form2->Label1->Text(), "Mars") << phase;
    EXPECT_FALSE(Form2->Disk1->Visible()) << phase;
    EXPECT_EQ(Form2->Dummy1->RotationAngle().X(), 0.0f) << phase;
    EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), MapFingerprint(1)) << phase;
    EXPECT_EQ(Form2->Sphere1->Opacity(), 1.0f) << phase;
    Select(0);
  }
}

TEST_F(Viewer, QuittingDuringATransitionEndsTheWaitAndLoadsNothing) {
  const std::uint64_t before = Fingerprint(Form2->LightMaterialSource1->Texture());
  // Closes the window from the first event the fade-out waits on, before the new map is
  // due however slowly the frames come.
  QTimer::singleShot(0, [] { Form2->Close(); });
  Select(4);
  EXPECT_TRUE(App->Terminated());
  EXPECT_EQ(BodyTextures[4], nullptr);
  EXPECT_EQ(Fingerprint(Form2->LightMaterialSource1->Texture()), before);
}

TEST_F(Viewer, FactTextsFaceEachOtherAcrossTheCentreAtBothWidths) {
  Form2->MenuItem5Click(Form2->MenuItem5);  // full screen off: the layout's client size
  ASSERT_TRUE(WaitFor([] { return Form2->ClientWidth() == 1149; }));
  ASSERT_TRUE(WaitFor([] { return Form2->Viewport3D1->Width() == 1149.0f; }));
  EXPECT_EQ(Form2->Text1->Position().X(), 367.5f);
  EXPECT_EQ(Form2->Text2->Position().X(), 581.5f);
  EXPECT_EQ(Form2->Text1->Position().Y(), 40.0f);
  EXPECT_EQ(Form2->Text2->Position().Y(), 40.0f);
  Form2->MenuItem5Click(Form2->MenuItem5);
  ASSERT_TRUE(WaitFor([] { return Form2->ClientWidth() == 1920; }));
  ASSERT_TRUE(WaitFor([] { return Form2->Viewport3D1->Width() == 1920.0f; }));
  EXPECT_EQ(Form2->Text1->Position().X(), 753.0f);
  EXPECT_EQ(Form2->Text2->Position().X(), 967.0f);
  EXPECT_EQ(Form2->Panel1->Position().X(), 40.0f);
  EXPECT_EQ(Form2->Label1->Width(), 1920.0f);
}

TEST_F(Viewer, AtEverySizeTheFactsClearThePanelAndStayInTheWindow) {
  Form2->MenuItem5Click(Form2->MenuItem5);  // full screen off
  ASSERT_TRUE(WaitFor([] { return Form2->ClientWidth() == 1149; }));
  QWindow* w = Form2->Window();
  EXPECT_EQ(w->minimumSize(), QSize(TForm2::MinimumClientWidth, TForm2::MinimumClientHeight));
  // The smallest size the window allows, and widths where the centred facts would run
  // into the panel.
  for (const int width : {TForm2::MinimumClientWidth, 800, 930, 1023}) {
    // Asked again while the window manager is still framing the window after full
    // screen, which puts back the size full screen left. The window reports the size
    // asked for at once, before the server's answer, so it may take no notice of the
    // same size asked again; a second ask goes by a pixel more and back, and the
    // server answers both.
    QElapsedTimer sinceAsked;
    ASSERT_TRUE(WaitFor([&] {
      const bool arrived = Form2->Viewport3D1->Width() == static_cast<float>(width);
      if (!arrived && (!sinceAsked.isValid() || sinceAsked.elapsed() > 1000)) {
        if (sinceAsked.isValid()) w->resize(width + 1, TForm2::MinimumClientHeight);
        w->resize(width, TForm2::MinimumClientHeight);
        sinceAsked.start();
      }
      return arrived;
    }, 30000)) << width << ": the window is " << w->width() << " wide, the viewport "
               << Form2->Viewport3D1->Width();
    const float panelRight = Form2->Panel1->Position().X() + Form2->Panel1->Width();
    EXPECT_GE(Form2->Text1->Position().X(), panelRight + TForm2::FactsPanelGap) << width;
    EXPECT_EQ(Form2->Text2->Position().X() - Form2->Text1->Position().X(), 214.0f) << width;
    EXPECT_LE(Form2->Text2->Position().X() + Form2->Text2->Width(), static_cast<float>(width)) << width;
    EXPECT_LE(Form2->Text1->Position().Y() + Form2->Text1->Height(), static_cast<float>(TForm2::MinimumClientHeight));
  }
  // The title and the facts carry the rim that keeps them readable on bright maps.
  for (const TAlphaColor halo : {Form2->Label1->Halo, Form2->Text1->Halo, Form2->Text2->Halo})
    EXPECT_EQ(halo, TForm2::TextHalo);
}

TEST_F(Viewer, PictureShowsALitTexturedPlanetStarsAndTheTranslucentPanel) {
  ASSERT_TRUE(WaitFor([] { return Form2->Camera1->Position().Z() == -15.0f; }));
  Form2->MenuItem1Click(Form2->MenuItem1);  // hold still
  // A frame of the scene as it now stands has reached the window.
  const auto frames = Form2->Viewport3D1->FrameCount();
  Form2->Viewport3D1->Repaint();  // the window paints again, whether the scene moved or not
  ASSERT_TRUE(WaitFor([frames] { return Form2->Viewport3D1->FrameCount() > frames; }));
  const QImage window = Form2->Window()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
  std::unique_ptr<TBitmap> shot = Form2->Viewport3D1->MakeScreenshot();
  ASSERT_EQ(shot->Width(), window.width());
  const QImage scene(reinterpret_cast<const uchar*>(shot->Bits()), shot->Width(), shot->Height(),
                     shot->Stride(), QImage::Format_ARGB32_Premultiplied);

  // The planet is lit and textured: bright where it faces the light, and not a flat
  // colour (seas and continents) over the disc around its centre.
  const int cx = window.width() / 2, cy = window.height() / 2;
  double sum = 0, sumSq = 0;
  int n = 0;
  for (int dy = -300; dy <= 300; dy += 20)
    for (int dx = -300; dx <= 300; dx += 20) {
      const Rgba p = ColourAt(scene, QPoint(cx + dx, cy + dy));
      const double l = (p.R + p.G + p.B) / 3;
      sum += l;
      sumSq += l * l;
      ++n;
    }
  const double mean = sum / n, var = sumSq / n - mean * mean;
  EXPECT_GT(mean, 30.0);
  EXPECT_GT(var, 100.0);

  // Stars around it: some bright pixels in a corner region outside the planet.
  int bright = 0;
  for (int y = window.height() - 200; y < window.height(); ++y)
    for (int x = window.width() - 300; x < window.width(); ++x)
      if (qGray(scene.pixel(x, y)) > 150) ++bright;
  EXPECT_GT(bright, 3);

  // The panel's card at 0.8 over the scene, and black captions on the buttons.
  const QPoint card = CardPixel();
  const Rgba under = ColourAt(scene, card);
  EXPECT_TRUE(ColourNear(ColourAt(window, card),
                         {0.8 * 0x35 + 0.2 * under.R, 0.8 * 0x35 + 0.2 * under.G, 0.8 * 0x6F + 0.2 * under.B, 255}, 3));
  const TRectF b = Form2->Buttons[0]->AbsoluteRect();
  int darkest = 255;
  for (int y = static_cast<int>(b.Top) + 6; y < static_cast<int>(b.Bottom) - 6; ++y)
    for (int x = static_cast<int>(b.Left) + 20; x < static_cast<int>(b.Right) - 20; ++x)
      darkest = std::min(darkest, qGray(window.pixel(x, y)));
  EXPECT_LT(darkest, 70);
}

// The keyboard reaches the buttons too, typed on the display: Tab stops once at the
// bodies' group, on the body shown; an arrow chooses the next body in reading order;
// Space or Enter clicks the focused button.
TEST_F(Viewer, TabArrowsAndSpaceSelectWithTheKeyboard) {
  Form2->Window()->requestActivate();
  ASSERT_TRUE(WaitFor([] { return Form2->Window()->isActive(); }));
  x11::Xdotool({"key", "Tab"});
  ASSERT_TRUE(WaitFor([] { return Form2->Focused() == Form2->Buttons[0]; }, 3000));
  // A second Tab finds no other stop; the arrow after it starts from the same button.
  x11::Xdotool({"key", "Tab", "Right"});
  ASSERT_TRUE(WaitFor([] { return Form2->Focused() == Form2->Buttons[9]; }, 3000));
  EXPECT_TRUE(WaitFor([] { return CurrentBody == 9 && Form2->Sphere1->Opacity() == 1.0f; }, 5000));
  EXPECT_EQ(Form2->Label1->Text(), "Moon");
  x11::Xdotool({"key", "shift+Tab", "space"});
  EXPECT_TRUE(WaitFor([] { return Form2->Focused() == Form2->Buttons[9]; }, 3000));
  Form2->SetFocused(Form2->Buttons[3]);
  x11::Xdotool({"key", "Return"});
  EXPECT_TRUE(WaitFor([] { return CurrentBody == 3 && Form2->Sphere1->Opacity() == 1.0f; }, 5000));
}
