#include "ui/frame_plan.h"

#include <algorithm>

namespace sphaerix {

void TKeptBuffer::Note(TEvent AEvent, int AWidth, int AHeight, float AScale) {
  FValid = AEvent == TEvent::Copied && AWidth > 0 && AHeight > 0;
  FWidth = FValid ? AWidth : 0;
  FHeight = FValid ? AHeight : 0;
  FScale = FValid ? AScale : 0;
}

bool TKeptBuffer::Holds(int AWidth, int AHeight, float AScale) const {
  return FValid && FWidth == AWidth && FHeight == AHeight && FScale == AScale;
}

TFramePlan PlanFrame(const TFrameRequest& ARequest, const TKeptBuffer& AKept) {
  using TKind = TFramePlan::TKind;
  const TPixelRect window{0, 0, ARequest.Width, ARequest.Height};
  if (window.Empty()) return {TKind::Nothing, {}};
  // Without a copy of part of the window, every frame is a whole one; so is a frame in
  // which a control, the fill or the window itself changed.
  if (!ARequest.PartsOffered || ARequest.WholeChanged) return {TKind::Swap, window};
  // From here on the window shows frames by copying them out of its back buffer, which
  // then keeps them: a part is enough only over the frame it keeps.
  if (!ARequest.ScenesKnown || !AKept.Holds(ARequest.Width, ARequest.Height, ARequest.Scale))
    return {TKind::ShowPart, window};
  const TPixelRect part = Intersect(ARequest.ScenePart, window);
  if (part.Empty()) return {TKind::Nothing, {}};
  return {TKind::ShowPart, part};
}

}  // namespace sphaerix
