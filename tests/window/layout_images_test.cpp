// The main window's layout images: the star map decoded on a worker while the first
// selection fades, complete and in its material before the window is first shown, and
// handed to the device at the first frame; a ring decoded only when its body is chosen,
// and let go again when another body is.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "platform/bitmap_codecs.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"
#include "scene/material/material.h"
#include "scene/material/material_source.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "tests/support/viewer_fixture.h"
#include "ui/application.h"
#include "ui/controls.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

// The resource's picture at 1/AReduction of its size on each side.
bool SamePicture(const TBitmap& AShown, const char* AResource, int AReduction = 1) {
  TResourceStream stream(AResource);
  TBitmap plain;
  TQtBitmapCodecs codecs;
  codecs.SetReduction(AReduction);
  codecs.LoadFromMemory(plain, stream.Memory(), static_cast<std::size_t>(stream.Size()));
  // Once the device holds the picture the bitmap keeps only where it came from.
  TBitmap again;
  const TBitmap* shown = &AShown;
  if (!AShown.Bits() && AShown.Origin()) {
    AShown.OriginDecoder()->LoadFromMemory(again, AShown.Origin(), AShown.OriginSize());
    shown = &again;
  }
  return shown->Width() == plain.Width() && shown->Height() == plain.Height() &&
         std::memcmp(shown->Bits(), plain.Bits(), static_cast<std::size_t>(plain.Width()) * plain.Height() * 4) == 0;
}

TEST(LayoutImages, StarsBeforeTheFirstShowRingsWithTheirBodyAndNoPictureKeptOnceDrawn) {
  auto app = std::make_unique<TApplication>();
  app->Initialize();
  std::vector<std::string> errors;
  app->OnShowError = [&errors](const std::string& AMessage) { errors.push_back(AMessage); };
  app->CreateForm(Form2);
  app->CreateForm(Form1);
  app->CreateQueuedForms();
  ASSERT_NE(Form2, nullptr);
  ASSERT_FALSE(Form2->Window()->isVisible());
  TTextureMaterialSource* stars = Form2->TextureMaterialSource3;
  // At half size for the first frame.
  ASSERT_EQ(stars->Texture().Width(), 6000 / TForm2::FirstFrameStarsReduction);
  ASSERT_EQ(stars->Texture().Height(), 3000 / TForm2::FirstFrameStarsReduction);
  EXPECT_TRUE(SamePicture(stars->Texture(), "Stars", TForm2::FirstFrameStarsReduction));
  EXPECT_NE(stars->TextureMaterial().Texture(), nullptr);
  // No ring is shown with Earth: none is decoded.
  EXPECT_TRUE(Form2->TextureMaterialSource1->Texture().IsEmpty());
  EXPECT_TRUE(Form2->TextureMaterialSource2->Texture().IsEmpty());

  app->ShowMainForm();
  EXPECT_TRUE(WaitFor([] { return Form2->Viewport3D1->FrameCount() > 0; }));
  // Drawn once: the device holds the pictures, processor memory does not; the whole sky
  // follows the first frame.
  EXPECT_EQ(stars->Texture().Bits(), nullptr);
  EXPECT_EQ(Form2->LightMaterialSource1->Texture().Bits(), nullptr);
  EXPECT_TRUE(WaitFor([] { return Form2->Maps().StarsReduction() == 1 && Form2->Maps().Settled(); }));
  EXPECT_TRUE(WaitFor([stars] { return !stars->Texture().Bits(); }));
  EXPECT_EQ(stars->TextureMaterial().Texture()->Width(), 6000);
  EXPECT_TRUE(SamePicture(stars->Texture(), "Stars"));

  const struct {
    int Body;
    TTextureMaterialSource* Source;
    TTextureMaterialSource* Other;
    const char* Resource;
  } rings[] = {{5, Form2->TextureMaterialSource2, Form2->TextureMaterialSource1, "SaturnRing"},
               {6, Form2->TextureMaterialSource1, Form2->TextureMaterialSource2, "UranusRing"}};
  for (const auto& r : rings) {
    SCOPED_TRACE(r.Resource);
    Form2->Buttons[r.Body]->Click();
    EXPECT_EQ(Form2->Disk1->MaterialSource(), r.Source);
    ASSERT_NE(r.Source->TextureMaterial().Texture(), nullptr);
    EXPECT_EQ(r.Source->TextureMaterial().Texture()->Width(), 4096 / TForm2::RingReduction);
    EXPECT_TRUE(SamePicture(r.Source->Texture(), r.Resource, TForm2::RingReduction));
    // The ring of the other body is let go.
    EXPECT_EQ(r.Other->Texture().Bits(), nullptr);
  }
  app.reset();
  EXPECT_TRUE(errors.empty()) << errors.front();
}

}  // namespace
