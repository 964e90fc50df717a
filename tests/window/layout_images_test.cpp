// The main window's layout images, decoded on workers while the first selection fades:
// complete and in their materials once the creation handler is done, before the window
// is first shown.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "platform/resource_stream.h"
#include "scene/bitmap.h"
#include "scene/material.h"
#include "scene/material_source.h"
#include "tests/window/window_fixture.h"
#include "ui/application.h"

using namespace sphaerix;
using namespace sphaerix::testing;

namespace {

TEST(LayoutImages, AreCompleteAndInTheirMaterialsBeforeTheWindowIsFirstShown) {
  auto app = std::make_unique<TApplication>();
  app->Initialize();
  std::vector<std::string> errors;
  app->OnShowError = [&errors](const std::string& AMessage) { errors.push_back(AMessage); };
  app->CreateForm(Form2);
  app->CreateForm(Form1);
  app->CreateQueuedForms();
  ASSERT_NE(Form2, nullptr);
  ASSERT_FALSE(Form2->Window()->isVisible());
  const struct {
    TTextureMaterialSource* Source;
    const char* Resource;
    int Width, Height;
  } cases[] = {{Form2->TextureMaterialSource2, "SaturnRing", 4096, 4096},
               {Form2->TextureMaterialSource1, "UranusRing", 4096, 4096},
               {Form2->TextureMaterialSource3, "Stars", 6000, 3000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Resource);
    TResourceStream stream(c.Resource);
    TBitmap plain;
    plain.LoadFromStream(stream);
    const TBitmap& shown = c.Source->Texture();
    ASSERT_EQ(shown.Width(), c.Width);
    ASSERT_EQ(shown.Height(), c.Height);
    EXPECT_EQ(std::memcmp(shown.Bits(), plain.Bits(), static_cast<std::size_t>(c.Width) * c.Height * 4), 0);
    EXPECT_NE(c.Source->TextureMaterial().Texture(), nullptr);
  }
  app->ShowMainForm();
  EXPECT_TRUE(WaitFor([] { return Form2->Window()->isExposed(); }));
  app.reset();
  EXPECT_TRUE(errors.empty()) << errors.front();
}

}  // namespace
