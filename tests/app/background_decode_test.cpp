// Layout images decoded on workers: the same pixels as a plain load, the change raised
// on the calling thread only when handed over, and an undecodable image reported as
// "Loading bitmap failed." with the others still delivered.
#include <QBuffer>
#include <QCoreApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/background_decode.h"
#include "platform/bitmap_codecs.h"
#include "platform/qt_runtime.h"
#include "scene/material/bitmap.h"
#include "scene/material/stream.h"

namespace sphaerix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A translucent gradient of AW x AH as PNG.
Bytes MakePng(int AW, int AH, int ASeed) {
  QImage image(AW, AH, QImage::Format_ARGB32);
  for (int y = 0; y < AH; ++y)
    for (int x = 0; x < AW; ++x)
      image.setPixel(x, y, qRgba((x * 7 + ASeed) & 255, (y * 5) & 255, (x + y + ASeed) & 255, (x * 3 + y) & 255));
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, "PNG"));
  return Bytes(data.begin(), data.end());
}

// A stream that is not memory-backed: only Read reaches its bytes.
class TReadOnlyStream : public TStream {
 public:
  explicit TReadOnlyStream(Bytes ABytes) : FBytes(std::move(ABytes)) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(FBytes.size()); }
  std::int64_t Read(void* ABuffer, std::int64_t ACount) override {
    const std::int64_t n = std::max<std::int64_t>(0, std::min<std::int64_t>(ACount, Size() - FPosition));
    if (n > 0) std::memcpy(ABuffer, FBytes.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
  }

 private:
  Bytes FBytes;
};

bool SamePixels(const TBitmap& A, const TBitmap& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() &&
         std::memcmp(A.Bits(), B.Bits(), static_cast<std::size_t>(A.Width()) * A.Height() * 4) == 0;
}

// A bitmap that counts its changes and where they were raised.
struct TWatched {
  TBitmap Bitmap;
  int Changes = 0;
  bool OffThread = false;
  TWatched() {
    const std::thread::id me = std::this_thread::get_id();
    Bitmap.OnChange = [this, me](TBitmap&) {
      ++Changes;
      if (std::this_thread::get_id() != me) OffThread = true;
    };
  }
};

class BackgroundDecodeTest : public ::testing::Test {
 protected:
  QtRuntime Runtime;
};

TEST_F(BackgroundDecodeTest, HandsOverTheSamePixelsAsAPlainLoadOnTheCallingThread) {
  const Bytes pngs[] = {MakePng(300, 200, 1), MakePng(64, 48, 2), MakePng(129, 77, 3)};
  TWatched targets[3];
  {
    TBackgroundDecode decode;
    decode.Add(targets[0].Bitmap, std::make_unique<TOwnedBytesStream>(pngs[0]));
    decode.Add(targets[1].Bitmap, std::make_unique<TReadOnlyStream>(pngs[1]));
    decode.Add(targets[2].Bitmap, std::make_unique<TOwnedBytesStream>(pngs[2]));
    EXPECT_TRUE(decode.Pending());
    decode.Finish();
    EXPECT_FALSE(decode.Pending());
    decode.Finish();  // nothing left to do
  }
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    TBitmap plain;
    TOwnedBytesStream stream(pngs[i]);
    plain.LoadFromStream(stream);
    EXPECT_TRUE(SamePixels(targets[i].Bitmap, plain));
    EXPECT_EQ(targets[i].Changes, 1);
    EXPECT_FALSE(targets[i].OffThread);
  }
}

TEST_F(BackgroundDecodeTest, AnUndecodableImageFailsFinishAfterTheOthersAreDelivered) {
  const Bytes good = MakePng(40, 30, 4);
  const Bytes garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  TWatched first, bad, last;
  bad.Bitmap.SetSize(5, 6);
  bad.Changes = 0;
  TBackgroundDecode decode;
  decode.Add(first.Bitmap, std::make_unique<TOwnedBytesStream>(good));
  decode.Add(bad.Bitmap, std::make_unique<TOwnedBytesStream>(garbage));
  decode.Add(last.Bitmap, std::make_unique<TOwnedBytesStream>(good));
  try {
    decode.Finish();
    ADD_FAILURE() << "no failure reported";
  } catch (const EBitmapLoadingFailed& e) {
    EXPECT_STREQ(e.what(), "Loading bitmap failed.");
  }
  EXPECT_EQ(first.Changes, 1);
  EXPECT_EQ(last.Changes, 1);
  EXPECT_EQ(first.Bitmap.Width(), 40);
  EXPECT_EQ(last.Bitmap.Width(), 40);
  // The failed one keeps its old content and hears of later changes again.
  EXPECT_EQ(bad.Changes, 0);
  EXPECT_EQ(bad.Bitmap.Width(), 5);
  EXPECT_EQ(bad.Bitmap.Height(), 6);
  bad.Bitmap.BitmapChanged();
  EXPECT_EQ(bad.Changes, 1);
  EXPECT_NO_THROW(decode.Finish());
}

TEST_F(BackgroundDecodeTest, DroppedUnfinishedItWaitsAndGivesTheNotificationBackSilently) {
  TWatched target;
  {
    TBackgroundDecode decode;
    decode.Add(target.Bitmap, std::make_unique<TOwnedBytesStream>(MakePng(500, 400, 6)));
  }
  EXPECT_EQ(target.Changes, 0);
  target.Bitmap.BitmapChanged();
  EXPECT_EQ(target.Changes, 1);
}

}  // namespace
}  // namespace sphaerix

namespace sphaerix {
namespace {

// A memory-backed stream whose bytes stay for the whole run, as the program's resources do.
class TPermanentStream : public TMemoryViewStream {
 public:
  using TMemoryViewStream::TMemoryViewStream;
  bool Permanent() const override { return true; }
};

TEST_F(BackgroundDecodeTest, TheReadyNoticeComesOnceFromTheLoopAndNeverForASetFinishedOrDropped) {
  const Bytes png = MakePng(300, 200, 7);
  TWatched target;
  int notices = 0;
  {
    TBackgroundDecode decode;
    decode.Add(target.Bitmap, std::make_unique<TOwnedBytesStream>(png));
    decode.Add(target.Bitmap, std::make_unique<TOwnedBytesStream>(png));
    decode.NotifyWhenReady([&] {
      ++notices;
      EXPECT_TRUE(decode.Ready());
    });
    // Never from inside the call, only from the loop, once.
    EXPECT_EQ(notices, 0);
    while (!decode.Ready()) std::this_thread::yield();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(notices, 1);
    decode.Finish();
  }
  // Finished or dropped before the loop ran: the queued notice does nothing.
  for (bool finish : {true, false}) {
    SCOPED_TRACE(finish);
    {
      TBackgroundDecode decode;
      decode.Add(target.Bitmap, std::make_unique<TOwnedBytesStream>(png));
      decode.NotifyWhenReady([&] { ++notices; });
      while (!decode.Ready()) std::this_thread::yield();
      if (finish) decode.Finish();
    }
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(notices, 1);
  }
}

TEST_F(BackgroundDecodeTest, AReducedPictureIsDecodedAgainAtItsOwnSize) {
  std::vector<unsigned char> rgb(64 * 32 * 3, 90);
  QImage image(rgb.data(), 64, 32, 64 * 3, QImage::Format_RGB888);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "JPEG"));
  const Bytes jpeg(data.begin(), data.end());
  TBitmap reduced, whole;
  TBackgroundDecode decode;
  decode.Add(reduced, std::make_unique<TPermanentStream>(jpeg.data(), jpeg.size()), true, 4);
  decode.Add(whole, std::make_unique<TPermanentStream>(jpeg.data(), jpeg.size()), true);
  decode.Finish();
  EXPECT_EQ(reduced.Width(), 16);
  EXPECT_EQ(reduced.Height(), 8);
  EXPECT_EQ(reduced.MipLevelCount(), 4);
  EXPECT_EQ(whole.Width(), 64);
  // Let go and decoded again, as after the device took them: each at its own size, the
  // size the device holds.
  for (TBitmap* b : {&reduced, &whole}) {
    ASSERT_EQ(b->Origin(), jpeg.data());
    const int w = b->Width(), h = b->Height();
    b->ReleasePixels();
    ASSERT_TRUE(b->ReloadPixels());
    EXPECT_EQ(b->Width(), w);
    EXPECT_EQ(b->Height(), h);
  }
}

}  // namespace
}  // namespace sphaerix
