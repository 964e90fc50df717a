// Writing a file over one the user may already have, without ever losing it: the new
// content is complete and on disk before it takes the old one's place, and what the
// user had set up is kept (owner, group, mode, a symbolic link and where it points).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace sphaerix {

// Writes ASize bytes to AFileName.
//
// - The content goes into an unnamed file in the target's folder where the file system
//   offers one, else into a hidden ".sphaerix-save-*" file there that is locked while
//   the save runs; such files left by a save that was killed are removed first.
// - Once complete and flushed, it replaces the target in one step (a rename), so a
//   reader sees either the old file or the new one, whatever happens meanwhile.
// - A replaced file keeps its mode, owner and group; a symbolic link stays and the file
//   it points to is replaced (or created where it points, when that does not exist).
// - A writable file in a folder that cannot take a new entry, or whose owner a new file
//   could not keep, is overwritten in place: the only way left. Space is reserved first
//   where the file system allows it, so a full disk fails before the old content is
//   touched.
//
// Raises EFileCreateError ("Cannot create file "<name>". <reason>") and leaves the old
// file as it was and no temporary file behind.
void WriteFileReplacing(const std::string& AFileName, const void* AData, std::size_t ASize);

// For tests: runs once the new content is complete and on disk, just before it takes
// the target's place (a test stops the process there, as a kill would).
extern std::function<void()> OnReplaceContentWritten;

}  // namespace sphaerix
