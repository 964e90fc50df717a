#include "platform/resource_stream.h"

#include "scene/object.h"

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

}  // namespace sphaerix
