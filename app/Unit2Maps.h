// The decoder the main window's maps use: pictures from the program's resources, decoded
// on workers into the materials of the body, its rings and the sky.
#pragma once

#include <memory>
#include <vector>

#include "app/Unit2Catalogue.h"
#include "app/map_residency.h"

namespace sphaerix {

class TForm2;
class TBitmap;
class TBackgroundDecode;
class TTextureMaterialSource;
class TResourceStream;
class TStripUpload;

const char* RingResourceName(TBodyRing ARing);
// The ring material of body AIndex, none for a body without a ring.
TTextureMaterialSource* RingSourceOf(TForm2* f, int AIndex);

class TViewerMapDecoder : public IMapDecoder {
 public:
  explicit TViewerMapDecoder(TForm2& AForm);
  ~TViewerMapDecoder() override;

  void Decode(const TMapPicture& APicture) override;
  void Drop(const TMapPicture& APicture) override;
  void HandOver(const TMapPicture& APicture) override;
  void ReportFailure(const TMapPicture& APicture) override;

 private:
  struct TSet {
    TMapPicture Picture;
    std::unique_ptr<TBackgroundDecode> Decode;  // null: it could not start
    // The whole sky instead goes straight into its texture, strip by strip, from Stream.
    std::unique_ptr<TResourceStream> Stream;
    std::unique_ptr<TStripUpload> Strips;
    bool Dropped = false;
    bool Ended = false;  // the residency has heard of its end
  };
  TBitmap& TargetOf(const TMapPicture& APicture);
  std::vector<TSet>::iterator Find(const TMapPicture& APicture);
  void Ended(const TMapPicture& APicture);
  bool DecodeInStrips(const TMapPicture& APicture);
  void HandOverStrips(TSet& ASet);

  TForm2& FForm;
  std::vector<TSet> FSets;
  // For calls queued to the event loop: gone with this decoder.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace sphaerix
