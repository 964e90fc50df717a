// TBackgroundDecode: images decoded on worker threads while the user-interface thread
// goes on: the star map while the first selection fades, and each body's map (and ring)
// while the shown body fades out.
//
// A worker decodes into a bitmap of its own, and makes the mip levels there when asked;
// the target is not touched until Finish hands the result over on the calling thread,
// raising the target's change there, as after a plain load. The workers only decode;
// they touch no other object of the program.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "scene/material/bitmap.h"
#include "scene/material/stream.h"

namespace sphaerix {

class IBitmapCodecs;

// The user-interface thread's codecs that decode at 1/AReduction of the size (2, 4 or
// 8), for the origin of a picture decoded so.
IBitmapCodecs& ReducedCodecs(int AReduction);

class TBackgroundDecode {
 public:
  TBackgroundDecode() = default;
  // Waits for the workers still decoding; targets not yet handed over stay as they were.
  ~TBackgroundDecode();
  TBackgroundDecode(const TBackgroundDecode&) = delete;
  TBackgroundDecode& operator=(const TBackgroundDecode&) = delete;

  // Starts decoding the whole content of AStream into ATarget, as
  // ATarget.LoadFromStream(*AStream) would. A stream that is not memory-backed is read
  // here, on the calling thread (EBitmapLoadingFailed when it does not fit in memory).
  // When no thread can be started the image is decoded at once, its failure kept for
  // Finish all the same.
  // With AMipLevels the worker also makes the picture's mip levels (TBitmap::BuildMipLevels).
  // AReduction above 1 decodes a JPEG picture at 1/AReduction of its size on each side
  // (TQtBitmapCodecs::SetReduction); its origin is then decoded again at that scale
  // (ReducedCodecs).
  void Add(TBitmap& ATarget, std::unique_ptr<TStream> AStream, bool AMipLevels = false, int AReduction = 1);

  // AOnReady runs once on the user-interface thread, from its event loop, after every
  // worker added so far has ended; not at all when this set is finished or dropped first.
  // Call after the last Add.
  void NotifyWhenReady(std::function<void()> AOnReady);

  // Waits for every worker, then raises each decoded bitmap's OnChange, in the order
  // added. Afterwards raises the first failure (EBitmapLoadingFailed, "Loading bitmap
  // failed."); a bitmap that failed is left as it was. A second call does nothing.
  void Finish();

  // True between the first Add and Finish.
  bool Pending() const { return !FJobs.empty(); }

  // True when no worker is decoding any more, so that Finish or dropping this set would
  // not wait. The event loop is woken whenever a worker ends, so a wait on the
  // user-interface thread can watch this.
  bool Ready() const;
  // Once Ready: some picture of the set could not be decoded (Finish would raise).
  bool Failed() const;

 private:
  struct TNotice;
  struct TJob {
    TBitmap* Target = nullptr;
    TBitmap Decoded;  // the worker's own
    bool MipLevels = false;
    int Reduction = 1;
    std::shared_ptr<TNotice> Notice;
    std::unique_ptr<TStream> Stream;
    std::vector<std::uint8_t> Bytes;  // the content of a stream that is not memory-backed
    // Decodes the picture again should the device lose it: the user-interface thread's
    // codecs, as for a plain load (the worker's own go with the worker).
    IBitmapCodecs* ReloadDecoder = nullptr;
    std::exception_ptr Failure;
    std::atomic<bool> Done{false};
    std::thread Worker;
  };
  static void Decode(TJob& AJob);
  void JoinAll();

  std::vector<std::unique_ptr<TJob>> FJobs;
  // What the workers share for NotifyWhenReady: how many still run, and the notice the
  // last of them posts. Alive is cleared on the user-interface thread when this set is
  // finished or goes, so a notice still queued then does nothing.
  struct TNotice {
    std::mutex Lock;
    int Running = 0;
    bool Posted = false;
    std::function<void()> OnReady;
    std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
  };
  static void Ended(const std::shared_ptr<TNotice>& ANotice);
  static void Post(TNotice& ANotice);
  std::shared_ptr<TNotice> FNotice = std::make_shared<TNotice>();
};

}  // namespace sphaerix
