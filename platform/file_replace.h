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
//   offers one, else into a hidden ".sphaerix-save-<pid>-<letters>" file there that is
//   locked while the save runs; such files left by a save that was killed are removed
//   first, whoever made them. While the save runs, the save journal
//   (platform/save_journal.h) names the folder, so that the next start clears what a kill
//   left there, whichever folder it is.
// - A name the folder cannot take, or a file the user may not change, fails before a byte
//   is written, and the message says which (too long, read-only, another user's).
// - Once complete and flushed, it replaces the target in one step (a rename), so a
//   reader sees either the old file or the new one, whatever happens meanwhile.
// - A replaced file keeps its mode, owner and group; a symbolic link stays and the file
//   it points to is replaced (or created where it points, when that does not exist).
// - A file is never overwritten in place, where a kill or a full disk halfway would leave
//   half the old content and half the new: in a folder that takes no new entry, or over
//   another user's file whose owner a new file could not keep, the save fails and says
//   why.
//
// Raises EFileCreateError ("Cannot create file "<name>". <reason>") and leaves the old
// file as it was and no temporary file behind.
void WriteFileReplacing(const std::string& AFileName, const void* AData, std::size_t ASize);

// Removes the hidden temporaries that killed saves left in AFolder and that no running
// save holds, whoever made them (as far as this user may remove them). Only names of
// exactly our temporaries' form are looked at.
void RemoveSaveLeftovers(const std::string& AFolder);

// For tests: runs once the new content is complete and on disk, just before it takes
// the target's place (a test stops the process there, as a kill would).
extern std::function<void()> OnReplaceContentWritten;
// For tests: runs once the content's file has its hidden name in the target's folder
// and before it is renamed (with a named temporary, before the content is written).
extern std::function<void()> OnTemporaryNamed;

}  // namespace sphaerix
