#include "platform/resource_stream.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "scene/nodes/object.h"

extern "C" {
extern const sphaerix::TResourceEntry sphaerix_resources[];
extern const std::uint32_t sphaerix_resource_count;
}

namespace sphaerix {

const TResourceEntry* FindResource(const TResourceEntry* ATable, std::uint32_t ACount,
                                   const std::string& AName) {
  for (std::uint32_t i = 0; i < ACount; ++i)
    if (ATable[i].name && SameText(ATable[i].name, AName)) return &ATable[i];
  return nullptr;
}

TResourceStream::TResourceStream(const std::string& AResName)
    : TResourceStream(sphaerix_resources, sphaerix_resource_count, AResName) {}

TResourceStream::TResourceStream(const TResourceEntry* ATable, std::uint32_t ACount,
                                 const std::string& AResName) {
  const TResourceEntry* entry = FindResource(ATable, ACount, AResName);
  if (!entry) throw EResourceNotFound("Resource " + AResName + " not found");
  SetPointer(entry->data, static_cast<std::int64_t>(entry->size));
}

void ReleaseResourcePages(const std::uint8_t* AData, std::size_t ASize) {
#if defined(__linux__)
#ifndef MADV_PAGEOUT
#define MADV_PAGEOUT 21
#endif
  // Whole pages inside the range only: the neighbours may be in use.
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(AData);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t last = (start + ASize) / page * page;
  // Reclaiming never changes the bytes; a kernel without it simply keeps them.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_PAGEOUT);
#else
  (void)AData;
  (void)ASize;
#endif
}

}  // namespace sphaerix
