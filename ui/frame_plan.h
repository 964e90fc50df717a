// How a window's frame reaches the screen, decided before anything is drawn: plain rules
// over what the window knows (what changed, whether its back buffer still holds the last
// frame shown, whether the window system can show part of a window), so that a table of
// cases drives them without a window.
#pragma once

#include "scene/view/frame_damage.h"

namespace sphaerix {

// The window's back buffer between frames: whether it still holds the frame last shown,
// at which size and scale. A swap leaves it undefined; showing a part (a copy out of it)
// keeps it; a resize, an expose or a change of scale may have lost it.
class TKeptBuffer {
 public:
  enum class TEvent { WholeSwapped, Copied, Resized, Exposed, ScaleChanged, Forgotten };
  // AWidth, AHeight (physical pixels) and AScale: the window's, for Copied.
  void Note(TEvent AEvent, int AWidth = 0, int AHeight = 0, float AScale = 0);
  // Whether the buffer holds the last frame shown of a window this size at this scale.
  bool Holds(int AWidth, int AHeight, float AScale) const;

 private:
  bool FValid = false;
  int FWidth = 0, FHeight = 0;
  float FScale = 0;
};

// What the window knows when a frame is asked for.
struct TFrameRequest {
  int Width = 0, Height = 0;  // the window, physical pixels
  float Scale = 1;
  bool PartsOffered = false;  // the window system can show part of a window
  bool WholeChanged = true;   // something besides the scenes changed since the last frame shown
  bool ScenesKnown = false;   // the scenes were drawn first, and ScenePart is all they changed
  TPixelRect ScenePart;       // window pixels, y down from the top; empty: nothing changed
};

struct TFramePlan {
  enum class TKind {
    Swap,      // the whole window drawn and swapped: the back buffer is undefined after
    ShowPart,  // Part drawn and copied to the screen, the rest of the back buffer kept
    Nothing,   // nothing changed: nothing is drawn or shown
  };
  TKind Kind = TKind::Swap;
  TPixelRect Part;
};

TFramePlan PlanFrame(const TFrameRequest& ARequest, const TKeptBuffer& AKept);

}  // namespace sphaerix
