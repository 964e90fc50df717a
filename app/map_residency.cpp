#include "app/map_residency.h"

namespace sphaerix {

TMapResidency::TMapResidency(IMapDecoder& ADecoder, TMapSizes ASizes)
    : FDecoder(ADecoder), FSizes(ASizes), FCameraZ(ASizes.NearestFarZ) {}

void TMapResidency::Begin() {
  FBegun = true;
  Advance();
}

void TMapResidency::BodyWanted(int ABody) {
  FWanted = ABody;
  Advance();
}

void TMapResidency::CameraDistance(float AZ) {
  FCameraZ = AZ;
  Advance();
}

void TMapResidency::FirstFrameShown() {
  FFirstFrameShown = true;
  Advance();
}

void TMapResidency::SelectionStarted() {
  FSelecting = true;
  Advance();
}

void TMapResidency::SelectionEnded() {
  FSelecting = false;
  Advance();
}

void TMapResidency::DecodeEnded(const TMapPicture& APicture, bool AOk) {
  for (std::optional<TSlot>* slot : {&FBodySlot, &FRingSlot, &FStarsSlot}) {
    if (!*slot || (*slot)->Picture != APicture || (*slot)->Ended) continue;
    if ((*slot)->Dropped) {
      slot->reset();
    } else {
      (*slot)->Ended = true;
      (*slot)->Ok = AOk;
    }
    break;
  }
  Advance();
}

void TMapResidency::Closed() {
  for (std::optional<TSlot>* slot : {&FBodySlot, &FRingSlot, &FStarsSlot})
    if (*slot && !(*slot)->Dropped) FDecoder.Drop((*slot)->Picture);
  FBodySlot.reset();
  FRingSlot.reset();
  FStarsSlot.reset();
  FClosed = true;
}

int TMapResidency::NeededReduction() const { return FCameraZ < FSizes.NearestFarZ + 0.5f ? FSizes.Far : 1; }

int TMapResidency::SelectionReduction() const {
  // Before the first frame the body is seen from afar, and quickly matters more than sharply.
  return FFirstFrameShown ? NeededReduction() : FSizes.FirstFrame;
}

bool TMapResidency::ShownSatisfies(int ABody) const {
  return FShown.Body == ABody && FShown.Reduction <= SelectionReduction();
}

bool TMapResidency::BodyReady(int ABody) const {
  if (ABody == FSwapped) return true;  // on screen already, as it is
  const bool mapReady = ShownSatisfies(ABody) || (FBodySlot && FBodySlot->ForSelection && !FBodySlot->Dropped &&
                                                  FBodySlot->Picture.Body == ABody && FBodySlot->Ended);
  const bool ringReady = !HasRing(ABody) || FShownRing == ABody ||
                         (FRingSlot && !FRingSlot->Dropped && FRingSlot->Picture.Body == ABody && FRingSlot->Ended);
  return mapReady && ringReady;
}

int TMapResidency::SwapTo(int ABody) {
  int shown = ABody;
  bool reported = false;
  if (FBodySlot && FBodySlot->ForSelection && !FBodySlot->Dropped && FBodySlot->Ended &&
      FBodySlot->Picture.Body == ABody) {
    const TSlot done = *FBodySlot;
    FBodySlot.reset();
    if (done.Ok) {
      FDecoder.HandOver(done.Picture);
      FShown = {ABody, done.Picture.Reduction};
    } else {
      FDecoder.ReportFailure(done.Picture);
      reported = true;
      // The body shown before stays, with everything that goes with it.
      if (FSwapped >= 0) shown = FSwapped;
    }
  }
  if (FRingSlot && !FRingSlot->Dropped && FRingSlot->Ended) {
    const TSlot done = *FRingSlot;
    FRingSlot.reset();
    if (done.Ok && done.Picture.Body == shown) {
      FDecoder.HandOver(done.Picture);
      FShownRing = shown;
    } else if (!done.Ok && done.Picture.Body == shown && !reported) {
      FDecoder.ReportFailure(done.Picture);  // the body goes on without its ring
    } else {
      FDecoder.Drop(done.Picture);
    }
  }
  // The swap lets every other ring go.
  if (FShownRing != shown) FShownRing = -1;
  FSwapped = shown;
  FWanted = shown == ABody ? FWanted : shown;
  Advance();
  return shown;
}

void TMapResidency::Start(std::optional<TSlot>& ASlot, const TMapPicture& APicture, bool AForSelection) {
  ASlot = TSlot{APicture, AForSelection};
  FDecoder.Decode(APicture);
}

void TMapResidency::Drop(std::optional<TSlot>& ASlot) {
  FDecoder.Drop(ASlot->Picture);
  if (ASlot->Ended)
    ASlot.reset();
  else
    ASlot->Dropped = true;
}

void TMapResidency::Advance() {
  if (FClosed) return;
  AdvanceStars();
  AdvanceBody();
  AdvanceRing();
}

void TMapResidency::AdvanceStars() {
  if (!FBegun || FStarsFailed) return;
  if (FStarsSlot) {
    if (!FStarsSlot->Ended) return;
    const TSlot done = *FStarsSlot;
    FStarsSlot.reset();
    if (done.Ok) {
      FDecoder.HandOver(done.Picture);
      FStarsShown = done.Picture.Reduction;
    } else {
      // The sky stays as it is (black before its first picture); not tried again.
      FDecoder.ReportFailure(done.Picture);
      FStarsFailed = true;
      return;
    }
  }
  const int wanted = FFirstFrameShown ? 1 : FSizes.FirstFrameStars;
  if (FStarsShown == 0 || FStarsShown > wanted) Start(FStarsSlot, {TMapKind::Stars, -1, wanted}, false);
}

void TMapResidency::AdvanceBody() {
  const bool selecting = SelectionMode();
  for (;;) {
    std::optional<TMapPicture> target;
    if (selecting) {
      // The body on screen is taken as it is (with the map it has, or none when its map
      // failed): only another one needs pictures.
      if (FWanted >= 0 && FWanted != FSwapped && !ShownSatisfies(FWanted))
        target = TMapPicture{TMapKind::Body, FWanted, SelectionReduction()};
    } else if (FFirstFrameShown && FShown.Body >= 0 && FShown.Body == FSwapped && FShown.Reduction > NeededReduction() &&
               !(FFinerFailed.Body == FShown.Body && FFinerFailed.Reduction == NeededReduction())) {
      target = TMapPicture{TMapKind::Body, FShown.Body, NeededReduction()};
    }
    if (FBodySlot) {
      TSlot& slot = *FBodySlot;
      if (slot.Dropped) return;  // the next decode starts once this one has stopped
      if (slot.ForSelection) {
        // Kept for the swap while it is the one the selection needs.
        if (selecting && target && slot.Picture == *target) return;
        Drop(FBodySlot);
        continue;
      }
      // A finer map of the body shown: a selection replaces that body anyway.
      if (selecting) {
        Drop(FBodySlot);
        continue;
      }
      // One on its way is let finish, even when the camera went back meanwhile.
      if (!slot.Ended) return;
      const TSlot done = slot;
      FBodySlot.reset();
      if (done.Ok) {
        FDecoder.HandOver(done.Picture);
        FShown.Reduction = done.Picture.Reduction;
      } else {
        // The coarser map stays, and the finer one is not tried again.
        FDecoder.ReportFailure(done.Picture);
        FFinerFailed = {done.Picture.Body, done.Picture.Reduction};
      }
      continue;  // the camera may have come nearer still
    }
    if (target) Start(FBodySlot, *target, selecting);
    return;
  }
}

void TMapResidency::AdvanceRing() {
  std::optional<TMapPicture> target;
  if (SelectionMode() && FWanted != FSwapped && HasRing(FWanted) && FShownRing != FWanted)
    target = TMapPicture{TMapKind::Ring, FWanted, FSizes.Ring};
  if (FRingSlot) {
    if (FRingSlot->Dropped || (target && FRingSlot->Picture == *target)) return;
    Drop(FRingSlot);
    if (FRingSlot) return;
  }
  if (target) Start(FRingSlot, *target, true);
}

}  // namespace sphaerix
