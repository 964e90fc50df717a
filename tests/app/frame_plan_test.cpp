// The window's frame decisions, without a window: whether a frame is swapped whole, shown
// in part out of the kept back buffer, or not drawn at all, and when the kept buffer
// stops holding the frame last shown.
#include <gtest/gtest.h>

#include "ui/frame_plan.h"

using namespace sphaerix;

namespace {

using TKind = TFramePlan::TKind;
using TEvent = TKeptBuffer::TEvent;

bool Same(const TPixelRect& A, const TPixelRect& B) {
  return A.X == B.X && A.Y == B.Y && A.Width == B.Width && A.Height == B.Height;
}

TEST(FramePlan, ATableOfWhatTheWindowKnows) {
  const TPixelRect window{0, 0, 800, 600}, body{300, 200, 120, 110};
  TKeptBuffer kept;
  kept.Note(TEvent::Copied, 800, 600, 1);
  TKeptBuffer lost;
  const struct {
    const char* What;
    TFrameRequest Request;
    const TKeptBuffer& Kept;
    TKind Kind;
    TPixelRect Part;
  } cases[] = {
      {"only the scene changed, over the frame kept", {800, 600, 1, true, false, true, body}, kept, TKind::ShowPart,
       body},
      {"no copy of part of a window", {800, 600, 1, false, false, true, body}, kept, TKind::Swap, window},
      {"a control changed too", {800, 600, 1, true, true, true, body}, kept, TKind::Swap, window},
      {"the buffer was swapped since", {800, 600, 1, true, false, true, body}, lost, TKind::ShowPart, window},
      {"the window has another size", {1024, 600, 1, true, false, true, body}, kept, TKind::ShowPart,
       {0, 0, 1024, 600}},
      {"the window has another scale", {800, 600, 2, true, false, true, body}, kept, TKind::ShowPart, window},
      {"the scenes could not be drawn first", {800, 600, 1, true, false, false, {}}, kept, TKind::ShowPart, window},
      {"nothing changed", {800, 600, 1, true, false, true, {}}, kept, TKind::Nothing, {}},
      {"the part reaches past the window", {800, 600, 1, true, false, true, {700, 500, 300, 300}}, kept,
       TKind::ShowPart, {700, 500, 100, 100}},
      {"the part lies outside the window", {800, 600, 1, true, false, true, {900, 0, 50, 50}}, kept, TKind::Nothing,
       {}},
      {"a window of no size", {0, 600, 1, true, true, true, body}, kept, TKind::Nothing, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const TFramePlan plan = PlanFrame(c.Request, c.Kept);
    EXPECT_EQ(plan.Kind, c.Kind);
    EXPECT_TRUE(Same(plan.Part, c.Part)) << plan.Part.X << "," << plan.Part.Y << " " << plan.Part.Width << "x"
                                         << plan.Part.Height;
  }
}

TEST(FramePlan, TheKeptBufferHoldsTheFrameOnlyAfterACopyAndUntilAnythingElse) {
  const struct {
    TEvent Last;
    bool Holds;
  } cases[] = {
      {TEvent::Copied, true},        {TEvent::WholeSwapped, false}, {TEvent::Resized, false},
      {TEvent::Exposed, false},      {TEvent::ScaleChanged, false}, {TEvent::Forgotten, false},
  };
  for (const auto& c : cases) {
    TKeptBuffer kept;
    kept.Note(TEvent::Copied, 640, 480, 1.5f);
    if (c.Last != TEvent::Copied) kept.Note(c.Last);
    EXPECT_EQ(kept.Holds(640, 480, 1.5f), c.Holds) << static_cast<int>(c.Last);
    EXPECT_FALSE(kept.Holds(640, 481, 1.5f));
    EXPECT_FALSE(kept.Holds(640, 480, 1.0f));
  }
  EXPECT_FALSE(TKeptBuffer().Holds(640, 480, 1));
}

TEST(FramePlan, RectanglesJoinAndClip) {
  EXPECT_TRUE(Same(Union({10, 10, 5, 5}, {0, 20, 2, 2}), {0, 10, 15, 12}));
  EXPECT_TRUE(Same(Union({}, {3, 4, 5, 6}), {3, 4, 5, 6}));
  EXPECT_TRUE(Same(Intersect({-5, -5, 10, 10}, {0, 0, 100, 100}), {0, 0, 5, 5}));
  EXPECT_TRUE(Intersect({0, 0, 10, 10}, {10, 0, 10, 10}).Empty());
}

}  // namespace
