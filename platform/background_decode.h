// TBackgroundDecode: images decoded on worker threads while the user-interface thread
// goes on. The main window's three layout images (one 6000 x 3000 and two 4096 x 4096
// PNGs, most of a second to decode on one core) decode this way during the first
// selection's fades, which keep the window hidden for a second anyway.
//
// A target bitmap belongs to its worker from Add until Finish: nothing may read or
// change it meanwhile. Its change notification is held back and raised by Finish on the
// calling thread, so a material learns of its texture there, as after a plain load.
// The workers only decode; they touch no other object of the program.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "scene/bitmap.h"
#include "scene/stream.h"

namespace sphaerix {

class TBackgroundDecode {
 public:
  TBackgroundDecode() = default;
  // Waits for the workers still decoding; bitmaps not yet handed over get their
  // notification back without raising it.
  ~TBackgroundDecode();
  TBackgroundDecode(const TBackgroundDecode&) = delete;
  TBackgroundDecode& operator=(const TBackgroundDecode&) = delete;

  // Starts decoding the whole content of AStream into ATarget, as
  // ATarget.LoadFromStream(*AStream) would. A stream that is not memory-backed is read
  // here, on the calling thread (EBitmapLoadingFailed when it does not fit in memory).
  // When no thread can be started the image is decoded at once, its failure kept for
  // Finish all the same.
  void Add(TBitmap& ATarget, std::unique_ptr<TStream> AStream);

  // Waits for every worker, then raises each decoded bitmap's OnChange, in the order
  // added. Afterwards raises the first failure (EBitmapLoadingFailed, "Loading bitmap
  // failed."); a bitmap that failed is left as it was. A second call does nothing.
  void Finish();

  // True between the first Add and Finish.
  bool Pending() const { return !FJobs.empty(); }

 private:
  struct TJob {
    TBitmap* Target = nullptr;
    std::function<void(TBitmap&)> OnChange;  // held back while the worker decodes
    std::unique_ptr<TStream> Stream;
    std::vector<std::uint8_t> Bytes;  // the content of a stream that is not memory-backed
    std::exception_ptr Failure;
    std::thread Worker;
  };
  static void Decode(TJob& AJob, bool AOnWorker);
  void JoinAll();

  std::vector<std::unique_ptr<TJob>> FJobs;
};

}  // namespace sphaerix
