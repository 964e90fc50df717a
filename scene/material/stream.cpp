#include "scene/material/stream.h"

#include <algorithm>
#include <cstring>

namespace sphaerix {

std::int64_t TStream::Seek(std::int64_t AOffset, TSeekOrigin AOrigin) {
  std::int64_t base = 0;
  switch (AOrigin) {
    case TSeekOrigin::Beginning: base = 0; break;
    case TSeekOrigin::Current: base = FPosition; break;
    case TSeekOrigin::End: base = Size(); break;
  }
  FPosition = std::max<std::int64_t>(0, base + AOffset);
  return FPosition;
}

std::int64_t TMemoryViewStream::Read(void* ABuffer, std::int64_t ACount) {
  if (ACount <= 0 || FPosition >= FSize) return 0;
  const std::int64_t n = std::min(ACount, FSize - FPosition);
  std::memcpy(ABuffer, FData + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

void TMemoryViewStream::SetPointer(const void* AData, std::int64_t ASize) {
  FData = static_cast<const std::uint8_t*>(AData);
  FSize = AData ? std::max<std::int64_t>(0, ASize) : 0;
  FPosition = 0;
}

TOwnedBytesStream::TOwnedBytesStream(std::vector<std::uint8_t> ABytes) : FBytes(std::move(ABytes)) {
  SetPointer(FBytes.data(), static_cast<std::int64_t>(FBytes.size()));
}

}  // namespace sphaerix
