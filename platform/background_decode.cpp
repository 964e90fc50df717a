#include "platform/background_decode.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <new>
#include <system_error>

#include "platform/bitmap_codecs.h"
#include "platform/resource_stream.h"

namespace sphaerix {

TBackgroundDecode::~TBackgroundDecode() { JoinAll(); }

void TBackgroundDecode::Add(TBitmap& ATarget, std::unique_ptr<TStream> AStream, bool AMipLevels) {
  auto job = std::make_unique<TJob>();
  job->Target = &ATarget;
  job->MipLevels = AMipLevels;
  job->Stream = std::move(AStream);
  job->ReloadDecoder = &BitmapCodecs();
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
  // A wait on the user-interface thread may be blocked with nothing else to wake it.
  if (QCoreApplication* app = QCoreApplication::instance())
    if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance(app->thread())) loop->wakeUp();
}

bool TBackgroundDecode::Ready() const {
  return std::all_of(FJobs.begin(), FJobs.end(), [](const std::unique_ptr<TJob>& AJob) { return AJob->Done.load(); });
}

void TBackgroundDecode::JoinAll() {
  for (auto& job : FJobs)
    if (job->Worker.joinable()) job->Worker.join();
}

void TBackgroundDecode::Finish() {
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
