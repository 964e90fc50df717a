// TResourceStream: a read-only stream laid over one of the images compiled into the
// program, found by name ignoring case. The bytes are read in place, never copied.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "scene/stream.h"

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
};

}  // namespace sphaerix
