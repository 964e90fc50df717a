// Byte streams as the scene layer reads them: a position over a sequence of bytes.
// Images arrive through these (a texture from an embedded resource, PNG data from a
// layout), and the codecs read memory-backed streams in place, without a copy.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sphaerix {

// A file could not be created (or written completely); the message names the file and
// the system's reason.
class EFileCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  TStream() = default;
  virtual ~TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Number of bytes in the stream.
  virtual std::int64_t Size() const = 0;
  // Reads up to ACount bytes at Position and advances it; returns the bytes read
  // (0 at or past the end).
  virtual std::int64_t Read(void* ABuffer, std::int64_t ACount) = 0;
  // Moves Position and returns it. A position before the start is taken as the start;
  // one past the end is allowed and reads nothing.
  virtual std::int64_t Seek(std::int64_t AOffset, TSeekOrigin AOrigin);
  // All bytes of the stream when they lie contiguous in memory, else nullptr.
  virtual const std::uint8_t* Memory() const { return nullptr; }
  // True when Memory() stays valid and unchanged for the whole run (the program's own
  // resources), so a picture decoded from it can be decoded again later.
  virtual bool Permanent() const { return false; }

  std::int64_t Position() const { return FPosition; }
  void SetPosition(std::int64_t APosition) { Seek(APosition, TSeekOrigin::Beginning); }

 protected:
  std::int64_t FPosition = 0;
};

// A read-only stream laid over bytes that someone else keeps alive.
class TMemoryViewStream : public TStream {
 public:
  TMemoryViewStream() = default;
  TMemoryViewStream(const void* AData, std::int64_t ASize) { SetPointer(AData, ASize); }

  std::int64_t Size() const override { return FSize; }
  std::int64_t Read(void* ABuffer, std::int64_t ACount) override;
  const std::uint8_t* Memory() const override { return FData; }

 protected:
  // Points the stream at other bytes and rewinds it.
  void SetPointer(const void* AData, std::int64_t ASize);

 private:
  const std::uint8_t* FData = nullptr;
  std::int64_t FSize = 0;
};

// A read-only stream that owns its bytes (PNG data of a layout, test fixtures).
class TOwnedBytesStream : public TMemoryViewStream {
 public:
  explicit TOwnedBytesStream(std::vector<std::uint8_t> ABytes);
  const std::vector<std::uint8_t>& Bytes() const { return FBytes; }

 private:
  std::vector<std::uint8_t> FBytes;
};

}  // namespace sphaerix
