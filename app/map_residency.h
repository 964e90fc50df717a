// TMapResidency: which pictures of the body, its ring and the sky are held, at which
// size, and which decode next. It owns the decisions and nothing else: the decoder that
// does the work is handed in, and everything that happens reaches it as an event (a body
// wanted, the camera's distance, the first frame shown, a selection starting or ending, a
// decode ending). What it decides comes out as calls on the decoder: decode a picture,
// drop one, hand one over to its material, report one that failed. So every decision is
// plain code that a table of events can drive without a window.
//
// The rules it keeps:
// - no more than one body map decodes at a time, and no more than one ring: a decode no
//   longer wanted is dropped at once and the next starts only once it has ended;
// - the first selection before the first frame decodes the map at a fraction of its size,
//   the sky at half; both follow at the size they need once that frame is shown, and
//   not before, so that they do not compete with that frame for the processor;
// - a body's map is held at the size the camera's distance needs, coarser from afar; a
//   finer one decodes while no selection runs and takes the coarser one's place;
// - a picture that cannot be decoded is reported once, and the program goes on with what
//   it holds: a failed selection goes on with the body shown before, a failed finer map
//   leaves the coarser one and is not tried again for that body.
#pragma once

#include <optional>

namespace sphaerix {

enum class TMapKind { Body, Ring, Stars };

// One picture at one size: a body's map or ring (by the body's index), or the sky (Body
// -1), decoded at 1/Reduction of its size on each side.
struct TMapPicture {
  TMapKind Kind = TMapKind::Body;
  int Body = -1;
  int Reduction = 1;
  bool operator==(const TMapPicture& A) const {
    return Kind == A.Kind && Body == A.Body && Reduction == A.Reduction;
  }
  bool operator!=(const TMapPicture& A) const { return !(*this == A); }
};

// What the residency asks for. A decode ends with TMapResidency::DecodeEnded, always
// later, from the event loop, never inside the call that asked for it; a dropped decode
// ends so too, once its worker has stopped. Every decode is closed by exactly one of
// HandOver, Drop and ReportFailure.
class IMapDecoder {
 public:
  virtual ~IMapDecoder() = default;
  // Starts decoding APicture on a worker.
  virtual void Decode(const TMapPicture& APicture) = 0;
  // The picture will never be shown: its decode may stop where it is, its pixels go.
  virtual void Drop(const TMapPicture& APicture) = 0;
  // The decoded picture takes the place of the one its material holds.
  virtual void HandOver(const TMapPicture& APicture) = 0;
  // APicture could not be decoded: "Loading bitmap failed." for the user, once.
  virtual void ReportFailure(const TMapPicture& APicture) = 0;
};

// The sizes the viewer holds its pictures at.
struct TMapSizes {
  // The first frame's map, 1/N on each side.
  int FirstFrame = 4;
  // A body's map at the default distance or farther; nearer, the whole map.
  int Far = 2;
  float NearestFarZ = -15;
  // The rings look the same at half size from every distance the wheel reaches.
  int Ring = 2;
  // The sky in the first frame.
  int FirstFrameStars = 2;
};

class TMapResidency {
 public:
  explicit TMapResidency(IMapDecoder& ADecoder, TMapSizes ASizes = {});
  TMapResidency(const TMapResidency&) = delete;
  TMapResidency& operator=(const TMapResidency&) = delete;

  // Which bodies carry a ring (the catalogue's), 0 to 13.
  void SetRingBodies(unsigned ABodies) { FRingBodies = ABodies; }

  // ---- Events
  // The window is built: the sky's first picture decodes.
  void Begin();
  void BodyWanted(int ABody);
  // The camera's Z in the rig (negative: the distance from the body).
  void CameraDistance(float AZ);
  void FirstFrameShown();
  void SelectionStarted();
  void SelectionEnded();
  void DecodeEnded(const TMapPicture& APicture, bool AOk);
  // The window closes: nothing decodes any more, what is on its way is dropped.
  void Closed();

  // ---- The selection's questions
  // Nothing is left to wait for before ABody can be swapped in: its map and ring are in
  // place or have ended decoding (well or not).
  bool BodyReady(int ABody) const;
  // At the swap: hands ABody's decoded pictures over. Returns the body to show, ABody,
  // or, when its map failed, the body shown before (ABody when there was none, without
  // a map); the failure is reported once.
  int SwapTo(int ABody);
  // The ring of the body shown is in its material.
  bool RingInPlace() const { return FShownRing >= 0 && FShownRing == FShown.Body; }

  // ---- State
  bool SelectionRunning() const { return FSelecting; }
  int Wanted() const { return FWanted; }
  // The body whose map the material holds (-1 none), and at which reduction.
  int ShownBody() const { return FShown.Body; }
  int ShownReduction() const { return FShown.Reduction; }
  // The sky's reduction held (0 before its first picture).
  int StarsReduction() const { return FStarsShown; }
  // The reduction the camera's distance needs now.
  int NeededReduction() const;
  // The sky's first picture is in place, or could not be decoded.
  bool StarsSettled() const { return FStarsShown > 0 || FStarsFailed; }
  // No decode runs or waits for its end.
  bool Settled() const { return !FBodySlot && !FRingSlot && !FStarsSlot; }

 private:
  // A decode under way or ended and not yet handed over.
  struct TSlot {
    TMapPicture Picture;
    bool ForSelection = false;
    bool Ended = false;
    bool Ok = false;
    bool Dropped = false;  // waits only for its end
  };

  bool HasRing(int ABody) const { return ABody >= 0 && ((FRingBodies >> ABody) & 1u) != 0; }
  bool SelectionMode() const { return FSelecting || (FWanted >= 0 && FWanted != FSwapped); }
  int SelectionReduction() const;
  bool ShownSatisfies(int ABody) const;
  void Advance();
  void AdvanceStars();
  void AdvanceBody();
  void AdvanceRing();
  void Start(std::optional<TSlot>& ASlot, const TMapPicture& APicture, bool AForSelection);
  void Drop(std::optional<TSlot>& ASlot);

  IMapDecoder& FDecoder;
  TMapSizes FSizes;
  unsigned FRingBodies = 0;
  bool FBegun = false;
  bool FClosed = false;
  bool FFirstFrameShown = false;
  bool FSelecting = false;
  int FWanted = -1;
  float FCameraZ = 0;
  struct {
    int Body = -1;
    int Reduction = 0;
  } FShown;
  int FSwapped = -1;    // the body the last swap showed, with or without its map
  int FShownRing = -1;  // the body whose ring the ring's material holds
  int FStarsShown = 0;
  bool FStarsFailed = false;
  // The finer map of this body at this reduction failed: not tried again.
  struct {
    int Body = -1;
    int Reduction = 0;
  } FFinerFailed;
  std::optional<TSlot> FBodySlot, FRingSlot, FStarsSlot;
};

}  // namespace sphaerix
