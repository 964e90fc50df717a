#include "platform/background_decode.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <new>
#include <system_error>

#include "platform/bitmap_codecs.h"
#include "platform/guarded_call.h"
#include "platform/resource_stream.h"

namespace sphaerix {

IBitmapCodecs& ReducedCodecs(int AReduction) {
  // One per scale, for the user-interface thread, which decodes a picture again when the
  // device lost it; made there, on the first Add that needs it.
  static TQtBitmapCodecs half, quarter, eighth;
  TQtBitmapCodecs& codecs = AReduction >= 8 ? eighth : AReduction >= 4 ? quarter : half;
  codecs.SetReduction(AReduction);
  return codecs;
}

TBackgroundDecode::~TBackgroundDecode() {
  *FNotice->Alive = false;
  JoinAll();
}

void TBackgroundDecode::Add(TBitmap& ATarget, std::unique_ptr<TStream> AStream, bool AMipLevels, int AReduction) {
  auto job = std::make_unique<TJob>();
  job->Target = &ATarget;
  job->MipLevels = AMipLevels;
  job->Reduction = AReduction;
  job->Notice = FNotice;
  job->Stream = std::move(AStream);
  job->ReloadDecoder = AReduction > 1 ? &ReducedCodecs(AReduction) : &BitmapCodecs();
  if (!job->Stream->Memory()) {
    try {
      job->Bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, job->Stream->Size())));
    } catch (const std::bad_alloc&) {
      throw EBitmapLoadingFailed();  // as a plain load reports it
    }
    job->Stream->Seek(0, TSeekOrigin::Beginning);
    std::size_t got = 0;
    while (got < job->Bytes.size()) {
      const std::int64_t n =
          job->Stream->Read(job->Bytes.data() + got, static_cast<std::int64_t>(job->Bytes.size() - got));
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    job->Bytes.resize(got);
  }
  // As a plain load leaves it: the whole stream read.
  job->Stream->Seek(0, TSeekOrigin::End);
  TJob& j = *job;
  FJobs.push_back(std::move(job));
  {
    std::lock_guard<std::mutex> lock(FNotice->Lock);
    ++FNotice->Running;
  }
  try {
    j.Worker = std::thread([&j] { Decode(j); });
  } catch (const std::system_error&) {
    Decode(j);
  }
}

// Each worker has codecs of its own: the process-wide ones keep one JPEG handle for the
// user-interface thread, which goes on decoding body maps meanwhile.
void TBackgroundDecode::Decode(TJob& AJob) {
  try {
    // Workers run at the program's own priority: the next map must be ready when the
    // fade-out ends, and on a busy machine a lowered worker missed that by a second.
    TQtBitmapCodecs codecs;
    codecs.SetReduction(AJob.Reduction);
    const std::uint8_t* data = AJob.Stream->Memory();
    std::size_t size = static_cast<std::size_t>(AJob.Stream->Size());
    if (!data) {
      data = AJob.Bytes.data();
      size = AJob.Bytes.size();
    }
    codecs.LoadFromMemory(AJob.Decoded, data, size);
    if (AJob.Stream->Permanent() && AJob.Stream->Memory()) {
      AJob.Decoded.SetOrigin(data, size, *AJob.ReloadDecoder);
      ReleaseResourcePages(data, size);
    }
    if (AJob.MipLevels) AJob.Decoded.BuildMipLevels();
  } catch (...) {
    AJob.Failure = std::current_exception();
  }
  AJob.Done = true;
  Ended(AJob.Notice);
  // A wait on the user-interface thread may be blocked with nothing else to wake it.
  if (QCoreApplication* app = QCoreApplication::instance())
    if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance(app->thread())) loop->wakeUp();
}

void TBackgroundDecode::NotifyWhenReady(std::function<void()> AOnReady) {
  std::lock_guard<std::mutex> lock(FNotice->Lock);
  FNotice->OnReady = std::move(AOnReady);
  FNotice->Posted = false;
  if (FNotice->Running == 0) Post(*FNotice);
}

void TBackgroundDecode::Ended(const std::shared_ptr<TNotice>& ANotice) {
  std::lock_guard<std::mutex> lock(ANotice->Lock);
  if (--ANotice->Running == 0 && ANotice->OnReady) Post(*ANotice);
}

// Called with ANotice's lock held.
void TBackgroundDecode::Post(TNotice& ANotice) {
  if (ANotice.Posted) return;
  ANotice.Posted = true;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  std::weak_ptr<bool> alive = ANotice.Alive;
  std::function<void()> onReady = ANotice.OnReady;
  QMetaObject::invokeMethod(
      app,
      [alive, onReady] {
        // Read on the user-interface thread, where the set is finished or dropped.
        const std::shared_ptr<bool> owner = alive.lock();
        if (owner && *owner && onReady) GuardedCall(onReady);
      },
      Qt::QueuedConnection);
}

bool TBackgroundDecode::Ready() const {
  // A worker marks itself done before it posts the ready notice (the notice must find the
  // set ready), so done alone does not say the notice is on its way; a worker has ended
  // once it has posted it.
  std::lock_guard<std::mutex> lock(FNotice->Lock);
  return FNotice->Running == 0 &&
         std::all_of(FJobs.begin(), FJobs.end(), [](const std::unique_ptr<TJob>& AJob) { return AJob->Done.load(); });
}

bool TBackgroundDecode::Failed() const {
  return std::any_of(FJobs.begin(), FJobs.end(),
                     [](const std::unique_ptr<TJob>& AJob) { return AJob->Done.load() && AJob->Failure; });
}

void TBackgroundDecode::JoinAll() {
  for (auto& job : FJobs)
    if (job->Worker.joinable()) job->Worker.join();
}

void TBackgroundDecode::Finish() {
  *FNotice->Alive = false;
  JoinAll();
  std::vector<std::unique_ptr<TJob>> jobs = std::move(FJobs);
  FJobs.clear();
  std::exception_ptr failure;
  for (auto& job : jobs) {
    if (job->Failure) {
      if (!failure) failure = job->Failure;
      continue;
    }
    job->Target->TakeOver(job->Decoded);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace sphaerix
