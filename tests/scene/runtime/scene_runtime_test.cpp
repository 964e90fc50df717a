// The scene runtime's scope: what it installs comes back as it was when it ends, and
// ending it ends the clock, the destroyer and its windows' share of the enabled gestures.
#include "scene/runtime/scene_runtime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "scene/animation/animator.h"
#include "scene/animation/clock.h"
#include "scene/animation/animation.h"
#include "scene/material/bitmap.h"
#include "scene/material/stream.h"
#include "scene/input/window_input.h"
#include "tests/support/platform_fakes.h"
#include "tests/support/window_fakes.h"

namespace sphaerix {
namespace {

class Root : public TSceneObject {
 public:
  bool IsRoot() const override { return true; }
};

class Target : public TSceneObject {
 public:
  explicit Target(TSceneObject* AOwner) : TSceneObject(AOwner) {
    RegisterFloatProperty("Opacity", [this] { return Opacity; }, [this](float v) { Opacity = v; });
    RegisterFloatProperty("Width", [this] { return Width; }, [this](float v) { Width = v; });
  }
  float Opacity = 1;
  float Width = 0;
};

// Codecs that decode any bytes into a 1 x 1 picture of a colour of their own and count it.
class TaggedCodecs : public IBitmapCodecs {
 public:
  explicit TaggedCodecs(TAlphaColor AColour) : FColour(AColour) {}
  void LoadFromMemory(TBitmap& ABitmap, const std::uint8_t*, std::size_t) override {
    ++Decodes;
    TBitmapPixels pixels = TBitmap::AllocatePixels(1, 1);
    pixels[0] = FColour;
    ABitmap.SetPixels(1, 1, std::move(pixels));
  }
  void SaveToFile(const TBitmap&, const std::string&, const TBitmapCodecSaveParams*) override {}
  int Decodes = 0;

 private:
  TAlphaColor FColour;
};

class PermanentStream : public TMemoryViewStream {
 public:
  using TMemoryViewStream::TMemoryViewStream;
  bool Permanent() const override { return true; }
};

TEST(SceneRuntime, NestedScopesPutBackWhatWasThereBefore) {
  EXPECT_FALSE(PlatformInstalled());
  EXPECT_THROW(Platform(), std::logic_error);
  EXPECT_THROW(TAniThread::Ensure(), std::logic_error);
  TaggedCodecs codecs(0xFF0000FF);
  testing::FakePlatform outerPlatform;
  SceneRuntime outer(outerPlatform, &codecs);
  {
    testing::FakePlatform inner;
    EXPECT_EQ(&Platform(), &inner);
    EXPECT_THROW(BitmapCodecs(), std::logic_error);  // the inner scope installed none
    inner.Runtime.SetAniFrameRate(20);
  }
  EXPECT_EQ(SceneRuntime::Current(), &outer);
  EXPECT_EQ(&Platform(), &outerPlatform);
  EXPECT_EQ(&BitmapCodecs(), &codecs);
  EXPECT_EQ(outer.AniFrameRate(), 60);  // a setting of the inner scope stays there
}

TEST(SceneRuntime, EndingItEndsTheClockAndQueuedDisposals) {
  testing::FakePlatform platform;
  Root window;
  auto* target = new Target(&window);
  target->SetParent(&window);
  auto scope = std::make_unique<SceneRuntime>(platform);
  TFloatAnimation spin(nullptr);
  spin.SetParent(target);
  spin.SetPropertyName("Opacity");
  spin.SetStartValue(1);
  spin.SetStopValue(0);
  spin.SetDuration(10);
  spin.Start();
  AnimateFloat(target, "Width", 5, 0);  // finishes at once; its disposal is queued
  ASSERT_EQ(TAnimationDestroyer::Instance().PendingCount(), 1);
  ASSERT_EQ(platform.Timers.size(), 1u);
  const int children = target->ChildrenCount();

  scope.reset();
  EXPECT_TRUE(platform.Timers.empty());  // the ended clock took its timer along
  EXPECT_EQ(TAniThread::Instance(), nullptr);  // the outer scope never had one
  platform.Advance(1);
  EXPECT_EQ(target->Opacity, 1.0f);  // nothing advances the spin any more
  platform.Drain();  // the ended destroyer's disposal does nothing
  EXPECT_EQ(target->ChildrenCount(), children);
  spin.SetParent(nullptr);
  delete target;  // takes the finished AnimateFloat animation along
}

TEST(SceneRuntime, EnabledGesturesComeFromTheCurrentScopesWindows) {
  testing::FakePlatform platform;
  testing::FakeWindow window;
  TControl control{nullptr};
  control.SetParent(&window);
  control.Touch().InteractiveGestures = {TInteractiveGesture::Zoom};
  EXPECT_EQ(EnabledInteractiveGestures(), TInteractiveGestures{TInteractiveGesture::Zoom});
  {
    testing::FakePlatform other;
    EXPECT_EQ(EnabledInteractiveGestures(), TInteractiveGestures{});
  }
  control.SetParent(nullptr);
}

TEST(SceneRuntime, APictureIsDecodedAgainByTheCodecsThatFirstDecodedIt) {
  const std::uint8_t bytes[] = {1, 2, 3};
  TaggedCodecs first(0xFF112233), later(0xFF445566);
  testing::FakePlatform platform;
  TBitmap bitmap;
  {
    SceneRuntime scope(platform, &first);
    PermanentStream stream(bytes, sizeof bytes);
    bitmap.LoadFromStream(stream);
  }
  SceneRuntime other(platform, &later);
  bitmap.ReleasePixels();
  ASSERT_TRUE(bitmap.ReloadPixels());
  EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF112233u);
  EXPECT_EQ(first.Decodes, 2);
  EXPECT_EQ(later.Decodes, 0);
}

}  // namespace
}  // namespace sphaerix
