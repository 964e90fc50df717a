// TResourceStream: a read-only stream laid over one of the images compiled into the
// program, found by name ignoring case. The bytes are read in place, never copied.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "scene/material/stream.h"

namespace sphaerix {

// One embedded resource, as the build's embedding step lays out its table.
struct TResourceEntry {
  const char* name;
  const unsigned char* data;
  std::uint64_t size;
};

class EResourceNotFound : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The entry named AName (ASCII case ignored) in ATable, or nullptr.
const TResourceEntry* FindResource(const TResourceEntry* ATable, std::uint32_t ACount,
                                   const std::string& AName);

class TResourceStream : public TMemoryViewStream {
 public:
  // Over the program's own resource AResName; raises EResourceNotFound
  // ("Resource <name> not found") when there is none.
  explicit TResourceStream(const std::string& AResName);
  // The same over another table.
  TResourceStream(const TResourceEntry* ATable, std::uint32_t ACount,
                  const std::string& AResName);

  // Resource bytes are part of the program image.
  bool Permanent() const override { return true; }
};

// Lets the system take back the memory of resource bytes that have been read (a picture
// decoded and handed on): they are part of the program file and come back from it,
// unchanged, should anyone read them again.
void ReleaseResourcePages(const std::uint8_t* AData, std::size_t ASize);

}  // namespace sphaerix
